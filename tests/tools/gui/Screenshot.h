#pragma once
// Writes a window beside another one (the MDI area with its images) as one PNG under /tmp/shots,
// for a person to look at.
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace vantelis::test {

inline void WriteScreenshotBeside(QWidget *left, QWidget *window, const std::string &name)
{
    const QPixmap area = left->grab();
    const QPixmap dialog = window->grab();
    QPixmap shot(area.width() + dialog.width() + 10, std::max(area.height(), dialog.height()));
    shot.fill(Qt::white);
    QPainter painter(&shot);
    painter.drawPixmap(0, 0, area);
    painter.drawPixmap(area.width() + 10, 0, dialog);
    painter.end();
    std::filesystem::create_directories("/tmp/shots");
    EXPECT_TRUE(shot.save(QString::fromStdString("/tmp/shots/" + name + ".png")));
}

} // namespace vantelis::test
