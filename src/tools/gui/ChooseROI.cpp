#include "tools/gui/ChooseROI.h"

#include "app/BackgroundImages.h"
#include "app/ToolServices.h"
#include "app/ViewGlobals.h"
#include "platform/gui/QtText.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

ImageRect RectOf(const ROIObject &roi)
{
    return ImageRect{static_cast<int32_t>(roi.left), static_cast<int32_t>(roi.top),
                     static_cast<int32_t>(roi.right), static_cast<int32_t>(roi.bottom)};
}

} // namespace

ChooseROI::ChooseROI(const std::string &settingsPath, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Choose ROI"));
    m_list_box = new QListWidget(this);
    m_list_box->setObjectName(QString::number(kRoiList));
    m_list_box->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list_box->setMinimumSize(200, 180);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("2"));

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list_box, 1);
    layout->addLayout(buttons);

    // Rows in the list's name order, unsorted by the control: row i is position i of the list.
    m_list.LoadFromProfile(settingsPath.c_str());
    for (int32_t i = 0; i < m_list.GetCount(); ++i)
        platform::gui::AddListItem(m_list_box, m_list.GetSortedAt(i)->m_name.c_str(),
                                   platform::gui::TextKind::Text);

    connect(m_list_box, &QListWidget::itemSelectionChanged, this, &ChooseROI::OnSelChangeRoiList);
    connect(m_ok, &QPushButton::clicked, this, &ChooseROI::OnOK);
    connect(m_cancel, &QPushButton::clicked, this, &ChooseROI::reject);
}

ChooseROI::~ChooseROI() = default;

const ROIObject *ChooseROI::SelectedRoi() const
{
    const QList<QListWidgetItem *> selected = m_list_box->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    return m_list.GetSortedAt(m_list_box->row(selected.first()));
}

void ChooseROI::OnSelChangeRoiList()
{
    const ROIObject *roi = SelectedRoi();
    if (roi == nullptr)
        return;
    _preview_roi.Set(RectOf(*roi));
    InvalidateAllViews();
}

void ChooseROI::OnOK()
{
    _preview_roi.Set(ImageRect{});
    EpiPreviewRoi.Set(ImageRect{});
    InvalidateAllViews();
    const ROIObject *roi = SelectedRoi();
    // Without a choice the dialog stays open.
    if (roi == nullptr)
        return;
    const ImageRect chosen = RectOf(*roi);
    const ImageRect active = _active_roi.Get();
    if (active.IsZero() || !(active == chosen)) {
        _active_roi.Set(chosen);
        if (RoiTools().RoiManager().HasWindow())
            RoiTools().ShowCurrentRoi();
    }
    accept();
}

void ChooseROI::reject()
{
    _preview_roi.Set(ImageRect{});
    InvalidateAllViews();
    QDialog::reject();
}
