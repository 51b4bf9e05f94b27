#pragma once
// Saves a window as /tmp/shots/<name>.png for a person to look at, fitted to its contents first
// when asked.
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vantelis::test {

inline void Shot(QWidget &window, const std::string &name, bool fitToContents = false)
{
    if (fitToContents)
        window.adjustSize();
    std::filesystem::create_directories("/tmp/shots");
    EXPECT_TRUE(window.grab().save(QString::fromStdString("/tmp/shots/" + name + ".png")));
}

} // namespace vantelis::test
