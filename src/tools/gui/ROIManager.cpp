#include "tools/gui/ROIManager.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "app/BackgroundImages.h"
#include "app/PlexorinApp.h"
#include "app/ViewGlobals.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"

#include <QAction>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

// One "%d" number from a field; false for an empty field or one that does not begin with a number.
bool ReadNumber(const QLineEdit *edit, int &value)
{
    return std::sscanf(platform::gui::FromQt(edit->text()).c_str(), "%d", &value) == 1;
}

// The list box's order: alphabetical without regard to case, letters folded to lower case so that
// punctuation such as '_' sorts before them ("ROI_2" before "ROIA").
int CompareIgnoringCase(const std::string &a, const std::string &b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

void ShowNumber(QLineEdit *edit, int32_t value)
{
    edit->setText(QString::number(value));
}

} // namespace

ROIManager::ROIManager(const std::string &settingsPath) : QDialog(nullptr), m_settings_path(settingsPath)
{
    setWindowTitle(QStringLiteral("ROI Manager"));
    auto makeEdit = [this](int id) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QString::number(id));
        connect(edit, &QLineEdit::textChanged, this, &ROIManager::OnChangeEdit);
        return edit;
    };
    m_name = makeEdit(kNameEdit);
    m_left = makeEdit(kLeftEdit);
    m_right = makeEdit(kRightEdit);
    m_top = makeEdit(kTopEdit);
    m_bottom = makeEdit(kBottomEdit);
    for (QLineEdit *edit : {m_left, m_right, m_top, m_bottom})
        edit->setMaximumWidth(90);

    m_list_box = new QListWidget(this);
    m_list_box->setObjectName(QString::number(kRoiList));
    m_list_box->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list_box->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list_box->setMinimumSize(180, 200);
    connect(m_list_box, &QListWidget::itemSelectionChanged, this, &ROIManager::OnSelChangeRoiList);
    connect(m_list_box, &QWidget::customContextMenuRequested, this, &ROIManager::OnListContextMenu);

    m_save = new QPushButton(QStringLiteral("Save\nChanges"), this);
    m_save->setObjectName(QString::number(kSaveChanges));
    m_save->setEnabled(false);
    m_save->setMinimumHeight(44);
    connect(m_save, &QPushButton::clicked, this, &ROIManager::OnSaveChanges);

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("Name"), m_name);
    fields->addRow(QStringLiteral("Left"), m_left);
    fields->addRow(QStringLiteral("Right"), m_right);
    fields->addRow(QStringLiteral("Top"), m_top);
    fields->addRow(QStringLiteral("Bottom"), m_bottom);
    auto *side = new QVBoxLayout;
    side->addLayout(fields);
    side->addWidget(m_save);
    side->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list_box, 1);
    layout->addLayout(side);

    m_edit_timer.setSingleShot(true);
    m_edit_timer.setInterval(kEditDelayMs);
    connect(&m_edit_timer, &QTimer::timeout, this, [this] { OnTimer(kEditTimer); });
    m_hidden_timer.setInterval(kHiddenPollMs);
    connect(&m_hidden_timer, &QTimer::timeout, this, [this] { OnTimer(kHiddenTimer); });

    ShowCurrentRoi();
    FillRoiList();
}

ROIManager::~ROIManager() = default;

QLineEdit *ROIManager::Edit(int id) const
{
    switch (id) {
    case kLeftEdit:
        return m_left;
    case kRightEdit:
        return m_right;
    case kTopEdit:
        return m_top;
    case kBottomEdit:
        return m_bottom;
    case kNameEdit:
        return m_name;
    default:
        return nullptr;
    }
}

bool ROIManager::TimerActive(int id) const
{
    return id == kEditTimer     ? m_edit_timer.isActive()
           : id == kHiddenTimer ? m_hidden_timer.isActive()
                                : false;
}

bool ROIManager::ShowCurrentRoi()
{
    const ImageRect active = _active_roi.Get();
    if (active.IsZero())
        return false;
    ShowNumber(m_left, active.left);
    ShowNumber(m_right, active.right);
    ShowNumber(m_top, active.top);
    ShowNumber(m_bottom, active.bottom);
    return true;
}

void ROIManager::InsertSortedRow(const std::string &name)
{
    int row = 0;
    while (row < m_list_box->count() &&
           CompareIgnoringCase(platform::gui::ItemText(m_list_box->item(row)), name) <= 0)
        ++row;
    m_list_box->insertItem(row, platform::gui::AddListItem(nullptr, name, platform::gui::TextKind::Text));
}

void ROIManager::SelectRowByText(const QString &text)
{
    for (int row = 0; row < m_list_box->count(); ++row) {
        if (m_list_box->item(row)->text() == text) {
            m_list_box->setCurrentRow(row);
            return;
        }
    }
}

void ROIManager::FillRoiList()
{
    m_filling = true;
    // A failed read keeps the list as it was.
    m_list.LoadFromProfile(m_settings_path.c_str());
    const QList<QListWidgetItem *> selected = m_list_box->selectedItems();
    const QString keep = selected.isEmpty() ? QString() : selected.first()->text();
    {
        // Refilling is no selection by the user: the fields keep what they show.
        QSignalBlocker block(m_list_box);
        m_list_box->clear();
        for (int32_t i = 0; i < m_list.GetCount(); ++i)
            InsertSortedRow(m_list.GetSortedAt(i)->m_name.c_str());
        if (!keep.isNull())
            SelectRowByText(keep);
    }
    m_filling = false;
}

void ROIManager::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_hidden_timer.start();
    OnSelChangeRoiList();
}

void ROIManager::OnSelChangeRoiList()
{
    const QList<QListWidgetItem *> selected = m_list_box->selectedItems();
    if (selected.isEmpty())
        return;
    const std::string name = platform::gui::ItemText(selected.first());
    platform::gui::SetEditText(m_name, name);
    const ROIObject *roi = m_list.FindByName(name.c_str());
    if (roi == nullptr)
        return;
    ShowNumber(m_left, static_cast<int32_t>(roi->left));
    ShowNumber(m_right, static_cast<int32_t>(roi->right));
    ShowNumber(m_top, static_cast<int32_t>(roi->top));
    ShowNumber(m_bottom, static_cast<int32_t>(roi->bottom));
    UpdatePreviewRoi();
}

void ROIManager::OnChangeEdit()
{
    m_edit_timer.start();
}

void ROIManager::OnTimer(int id)
{
    if (id == kEditTimer) {
        m_edit_timer.stop();
        UpdateSaveButton();
        UpdatePreviewRoi();
    } else if (id == kHiddenTimer) {
        if (isVisible())
            return;
        m_hidden_timer.stop();
        if (m_preview_set) {
            _preview_roi.Set(ImageRect{});
            InvalidateAllViews();
            m_preview_set = false;
        }
    }
}

bool ROIManager::UpdatePreviewRoi()
{
    if (m_list_box->selectedItems().isEmpty())
        return false;
    for (QLineEdit *edit : {m_left, m_right, m_top, m_bottom})
        if (edit->text().isEmpty())
            m_save->setEnabled(false);
    // A field that holds no number keeps the preview as it is.
    ImageRect rect;
    if (!ReadNumber(m_left, rect.left) || !ReadNumber(m_right, rect.right) || !ReadNumber(m_top, rect.top) ||
        !ReadNumber(m_bottom, rect.bottom))
        return false;
    if (rect == _preview_roi.Get())
        return false;
    _preview_roi.Set(rect);
    InvalidateAllViews();
    m_preview_set = true;
    return true;
}

bool ROIManager::UpdateSaveButton()
{
    const std::string name = platform::gui::EditText(m_name);
    ImageRect rect;
    // Blank names and fields without a number cannot be saved.
    if (CountChars(name.c_str(), 1) == 0 || !ReadNumber(m_left, rect.left) ||
        !ReadNumber(m_right, rect.right) || !ReadNumber(m_top, rect.top) ||
        !ReadNumber(m_bottom, rect.bottom)) {
        m_save->setEnabled(false);
        return false;
    }
    const ROIObject *roi = m_list.FindByName(name.c_str());
    if (roi != nullptr && int32_t(roi->left) == rect.left && int32_t(roi->top) == rect.top &&
        int32_t(roi->right) == rect.right && int32_t(roi->bottom) == rect.bottom) {
        m_save->setEnabled(false);
        return false;
    }
    m_save->setEnabled(true);
    return true;
}

void ROIManager::ReloadBeforeChange()
{
    // Script commands write the same section; a change made to the list as it was loaded when the
    // window opened would drop what they stored since. A failed read keeps the list as it was.
    m_list.LoadFromProfile(m_settings_path.c_str());
}

bool ROIManager::SaveList(const char *what)
{
    if (m_list.SaveToProfile(m_settings_path.c_str()))
        return true;
    std::string message = std::string("The ROI list could not be written to ") + m_settings_path + "; " +
                          what + " is not stored.";
    LogError(__FILE_NAME__, __LINE__, message.c_str());
    platform::ui::MessageBox(message, "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
    // The list box shows what the file holds, not what failed to reach it; a file that cannot be
    // read holds nothing.
    m_list.Reset();
    FillRoiList();
    return false;
}

void ROIManager::OnSaveChanges()
{
    const std::string name = platform::gui::EditText(m_name);
    ImageRect rect;
    if (CountChars(name.c_str(), 1) == 0 || !ReadNumber(m_left, rect.left) ||
        !ReadNumber(m_right, rect.right) || !ReadNumber(m_top, rect.top) ||
        !ReadNumber(m_bottom, rect.bottom)) {
        m_save->setEnabled(false);
        return;
    }
    // A name the list cannot read back, or a list already full, is refused before anything is
    // written.
    EString error;
    if (!ROIList::CheckStorableName(name.c_str(), error)) {
        platform::ui::MessageBox(error.c_str(), "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
        return;
    }
    ReloadBeforeChange();
    ROIObject *roi = m_list.FindByName(name.c_str());
    if (roi == nullptr) {
        if (!m_list.CheckRoomForNewRoi(error)) {
            platform::ui::MessageBox(error.c_str(), "Vantelis",
                                     platform::ui::MbOk | platform::ui::MbIconError);
            FillRoiList();
            return;
        }
        roi = new ROIObject;
        roi->m_name.Assign(name.c_str());
        m_list.Add(roi);
    }
    roi->left = static_cast<uint32_t>(rect.left);
    roi->top = static_cast<uint32_t>(rect.top);
    roi->right = static_cast<uint32_t>(rect.right);
    roi->bottom = static_cast<uint32_t>(rect.bottom);
    m_save->setEnabled(false);
    if (!m_filling && !SaveList(("the ROI \"" + name + "\"").c_str()))
        return;
    // Rows for the new name and for any ROI another writer stored meanwhile; the selection stays.
    FillRoiList();
}

void ROIManager::OnListContextMenu(const QPoint &point)
{
    if (!theApp.m_admin_mode)
        return;
    QListWidgetItem *item = m_list_box->itemAt(point);
    m_context_row = item ? m_list_box->row(item) : -1;
    if (m_context_row < 0)
        return;
    QMenu menu(m_list_box);
    QAction *remove = menu.addAction(QStringLiteral("Delete"));
    remove->setData(kDeleteCommand);
    connect(remove, &QAction::triggered, this, &ROIManager::OnDelete);
    menu.exec(m_list_box->viewport()->mapToGlobal(point));
}

void ROIManager::OnDelete()
{
    if (m_context_row < 0 || m_context_row >= m_list_box->count())
        return;
    const std::string name = platform::gui::ItemText(m_list_box->item(m_context_row));
    ReloadBeforeChange();
    const int32_t position = m_list.FindStoragePosition(name.c_str());
    if (position >= 0) {
        m_list.RemoveAt(position);
        if (!m_filling && !SaveList(("the deletion of \"" + name + "\"").c_str()))
            return;
    }
    FillRoiList();
}
