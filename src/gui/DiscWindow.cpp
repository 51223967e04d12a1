#include "gui/DiscWindow.h"

#include <algorithm>

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dnd.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>
#include <wx/utils.h>

#include "disc/DiscTexts.h"
#include "gui/ControlBinding.h"
#include "gui/EraseWindow.h"

namespace kestrel {
namespace {

enum MenuId {
    IdClearAll = wxID_HIGHEST + 1,
    IdRemoveFolder,
    IdRenameFolder,
    IdRemoveFile,
    IdRenameFile,
    IdExit,
    IdEject,
    IdCloseTray,
    IdEraseDisc,
};

// The images of the tree and the list, in the order they are added to an image list.
enum Image { ClosedFolder, Cd, OpenFolder, FileImage };

constexpr std::size_t LabelLength = 32;
// How often the engine's queued events are taken, and how often a long call lets the window
// repaint.
constexpr int DeliveryMilliseconds = 50;
constexpr auto RepaintInterval = std::chrono::milliseconds(50);

constexpr std::array<const char*, DiscOptionCount> OptionNames = {
    "chkTestWrite",  "chkFinalizeDisc", "chkDiscAtOnce",   "chkUseBufferProtect",
    "chkUseMode2XA", "chkCacheImage",   "chkUseFileDates", "chkAutoVerify",
};

wxImageList* Images()
{
    const wxSize size(16, 16);
    auto* images = new wxImageList(size.x, size.y, true);
    for (const wxArtID id : {wxART_FOLDER, wxART_CDROM, wxART_FOLDER_OPEN, wxART_NORMAL_FILE}) {
        wxBitmap bitmap = wxArtProvider::GetBitmap(id, wxART_OTHER, size);
        if (!bitmap.IsOk()) {
            bitmap = wxBitmap(size.x, size.y);
        }
        images->Add(bitmap);
    }
    return images;
}

// The key of a folder node, kept with its tree item.
class NodeKey final : public wxTreeItemData {
public:
    explicit NodeKey(std::string folderKey) : key(std::move(folderKey)) {}
    std::string key;
};

// Files and folders dropped from the desktop, by their paths.
class PathDropTarget final : public wxFileDropTarget {
public:
    explicit PathDropTarget(std::function<void(const std::vector<std::string>&)> dropped)
        : dropped_(std::move(dropped))
    {
    }
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override
    {
        std::vector<std::string> paths;
        for (const wxString& name : names) {
            paths.push_back(name.utf8_string());
        }
        dropped_(paths);
        return true;
    }

private:
    std::function<void(const std::vector<std::string>&)> dropped_;
};

bool SameRows(const std::vector<FileRow>& a, const std::vector<FileRow>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.key == y.key && x.name == y.name && x.size == y.size && x.date == y.date;
    });
}

void ShowChoices(wxChoice* choice, const std::vector<ListChoice>& entries, int selection)
{
    bool same = choice->GetCount() == entries.size();
    for (std::size_t i = 0; same && i < entries.size(); ++i) {
        same = choice->GetString(static_cast<unsigned>(i)).utf8_string() == entries[i].text;
    }
    if (!same) {
        choice->Clear();
        for (const ListChoice& entry : entries) {
            choice->Append(Text(entry.text));
        }
    }
    if (choice->GetSelection() != selection) {
        choice->SetSelection(selection);
    }
}

}  // namespace

class DiscWindow::EngineWatch final : public DiscEvents {
public:
    explicit EngineWatch(std::function<void()> changed) : changed_(std::move(changed)) {}

    void StatusChanged(int, WriteStatus) override { changed_(); }
    void ReadingFile(int, long, const std::string&) override { changed_(); }
    void FileWarning(const FileError&, bool&) override { changed_(); }
    void WriteFailed(const WriteError&) override { changed_(); }
    void VerifyStarted(int) override { changed_(); }
    void VerifyItem(const ImageItem&, VerifyResult, int, int) override { changed_(); }
    void VerifyDone(int, int) override { changed_(); }
    // An added item is shown through ProcessPendingEvents, at most once per repaint interval:
    // a large folder raises one event per file.
    void ItemRemoved(const ImageItem&) override { changed_(); }
    void ItemNameChanged(const ImageItem&) override { changed_(); }
    void ImageCleared() override { changed_(); }

private:
    std::function<void()> changed_;
};

DiscWindow::DiscWindow(wxWindow* parent, std::unique_ptr<DiscEngine> engine, FileSystem& files,
                       Messages* messages)
    : wxFrame(parent, wxID_ANY, Text(texts::DiscWindowCaption), wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE | wxFRAME_NO_TASKBAR, "frmMaindvdwrite"),
      engine_(std::move(engine)),
      // Until the window shows, its messages stand over the window that opened it.
      wxMessages_(parent),
      injectedMessages_(messages),
      model_(*engine_, files, messages ? *messages : wxMessages_, *this),
      watch_(std::make_unique<EngineWatch>([this] { ShowModelState(); })),
      deliveryTimer_(this)
{
    BuildMenus();
    BuildControls();
    BindCommands();
    BindTree();
    BindList();
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { DeliverEngineEvents(); });
    // Not skipped: the model decides whether the window may close (not while writing).
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { CloseWindow(); });
}

DiscWindow::~DiscWindow()
{
    // The controls outlive the model (they go with the frame); what they send as they go
    // must not reach it.
    showing_ = true;
    for (wxWindow* control : std::initializer_list<wxWindow*>{tree_, list_, label_}) {
        control->SetEvtHandlerEnabled(false);
    }
    deliveryTimer_.Stop();
    StopListening();
    if (busyShown_) {
        wxEndBusyCursor();
    }
}

void DiscWindow::BuildMenus()
{
    auto* file = new wxMenu;
    file->Append(IdClearAll, Text(texts::ClearAllItems));
    file->AppendSeparator();
    file->Append(IdRemoveFolder, Text(texts::RemoveFolder));
    file->Append(IdRenameFolder, Text(texts::RenameFolder));
    file->Append(IdRemoveFile, Text(texts::RemoveFile));
    file->Append(IdRenameFile, Text(texts::RenameFile));
    file->AppendSeparator();
    file->Append(IdExit, Text(texts::Exit));
    auto* device = new wxMenu;
    device->Append(IdEject, Text(texts::Eject));
    device->Append(IdCloseTray, Text(texts::CloseTray));
    device->Append(IdEraseDisc, Text(texts::EraseDisc));
    auto* bar = new wxMenuBar;
    bar->Append(file, Text(texts::FileMenu));
    bar->Append(device, Text(texts::DeviceMenu));
    SetMenuBar(bar);

    // The File menu as it pops up over the tree and over the list: only their own commands.
    treeMenu_ = std::make_unique<wxMenu>();
    treeMenu_->Append(IdClearAll, Text(texts::ClearAllItems));
    treeMenu_->Append(IdRemoveFolder, Text(texts::RemoveFolder));
    treeMenu_->Append(IdRenameFolder, Text(texts::RenameFolder));
    listMenu_ = std::make_unique<wxMenu>();
    listMenu_->Append(IdClearAll, Text(texts::ClearAllItems));
    listMenu_->Append(IdRemoveFile, Text(texts::RemoveFile));
    listMenu_->Append(IdRenameFile, Text(texts::RenameFile));
}

void DiscWindow::BuildControls()
{
    auto* root = new wxPanel(this);
    auto* sizer = new wxBoxSizer(wxVERTICAL);

    auto* settings = new wxFlexGridSizer(2, 4, 4, 6);
    settings->AddGrowableCol(1, 1);
    settings->AddGrowableCol(3, 1);
    const auto addLabelled = [&](const char* label, wxWindow* control) {
        settings->Add(new wxStaticText(root, wxID_ANY, Text(label)), 0, wxALIGN_CENTER_VERTICAL);
        settings->Add(control, 1, wxEXPAND);
    };
    const auto choice = [root](const char* name) {
        return new wxChoice(root, wxID_ANY, wxDefaultPosition, wxSize(200, -1), 0, nullptr, 0,
                            wxDefaultValidator, name);
    };
    devices_ = choice("cboDevices");
    speeds_ = choice("cboWriteSpeed");
    fileSystems_ = choice("cboVolumeType");
    label_ = new wxTextCtrl(root, wxID_ANY, Text(texts::NewDisc), wxDefaultPosition, wxDefaultSize,
                            0, wxDefaultValidator, "txtVolIdentifier");
    label_->SetMaxLength(LabelLength);
    addLabelled(texts::DeviceLabel, devices_);
    addLabelled(texts::WriteSpeedLabel, speeds_);
    addLabelled(texts::VolumeTypeLabel, fileSystems_);
    addLabelled(texts::VolumeIdLabel, label_);
    sizer->Add(settings, 0, wxEXPAND | wxALL, 8);

    sizer->Add(new wxStaticText(root, wxID_ANY, Text(texts::DropTitle), wxDefaultPosition,
                                wxDefaultSize, 0, "lblImageFileTitle"),
               0, wxLEFT | wxRIGHT, 8);
    auto* image = new wxBoxSizer(wxHORIZONTAL);
    tree_ = new wxTreeCtrl(root, wxID_ANY, wxDefaultPosition, wxSize(220, 240),
                           wxTR_DEFAULT_STYLE | wxTR_EDIT_LABELS | wxTR_SINGLE, wxDefaultValidator,
                           "tvwFolders");
    tree_->AssignImageList(Images());
    list_ = new wxListCtrl(root, wxID_ANY, wxDefaultPosition, wxSize(490, 240),
                           wxLC_REPORT | wxLC_SINGLE_SEL | wxLC_EDIT_LABELS, wxDefaultValidator,
                           "lvwImageFiles");
    list_->AssignImageList(Images(), wxIMAGE_LIST_SMALL);
    list_->AppendColumn(Text(texts::FileNameColumn), wxLIST_FORMAT_LEFT, 200);
    list_->AppendColumn(Text(texts::SizeColumn), wxLIST_FORMAT_RIGHT, 100);
    list_->AppendColumn(Text(texts::DateColumn), wxLIST_FORMAT_LEFT, 180);
    const auto dropped = [this](const std::vector<std::string>& paths) { Dropped(paths); };
    tree_->SetDropTarget(new PathDropTarget(dropped));
    list_->SetDropTarget(new PathDropTarget(dropped));
    image->Add(tree_, 1, wxEXPAND | wxRIGHT, 4);
    image->Add(list_, 2, wxEXPAND);
    sizer->Add(image, 1, wxEXPAND | wxALL, 8);

    auto* boxes = new wxGridSizer(2, 4, 4, 8);
    for (std::size_t i = 0; i < DiscOptionCount; ++i) {
        auto* box =
            new wxCheckBox(root, wxID_ANY, Text(texts::OptionCaptions[i]), wxDefaultPosition,
                           wxDefaultSize, 0, wxDefaultValidator, OptionNames[i]);
        box->SetToolTip(Text(texts::OptionToolTips[i]));
        box->Bind(wxEVT_CHECKBOX, [this, i](wxCommandEvent& event) {
            model_.OptionClicked(static_cast<DiscOption>(i), event.IsChecked());
            ShowModelState();
        });
        options_[i] = box;
        boxes->Add(box);
    }
    sizer->Add(boxes, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);

    progress_ = new wxGauge(root, wxID_ANY, 100, wxDefaultPosition, wxDefaultSize, wxGA_HORIZONTAL,
                            wxDefaultValidator, "prgTotalProgress");
    sizer->Add(progress_, 0, wxEXPAND | wxALL, 8);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    writeDisc_ = new wxButton(root, wxID_ANY, Text(texts::WriteDisc), wxDefaultPosition,
                              wxDefaultSize, 0, wxDefaultValidator, "cmdWriteDisc");
    cancel_ = new wxButton(root, wxID_ANY, Text(texts::CancelButton), wxDefaultPosition,
                           wxDefaultSize, 0, wxDefaultValidator, "cmdCancel");
    buttons->AddStretchSpacer();
    buttons->Add(writeDisc_, 0, wxALL, 4);
    buttons->Add(cancel_, 0, wxALL, 4);
    sizer->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 4);
    root->SetSizer(sizer);

    wxStatusBar* status = CreateStatusBar(3, wxSTB_DEFAULT_STYLE, wxID_ANY, "sbrStatus");
    const int widths[] = {-2, -1, -1};
    status->SetStatusWidths(3, widths);
    sizer->SetSizeHints(this);
}

void DiscWindow::BindCommands()
{
    const std::pair<int, void (DiscWindowModel::*)()> commands[] = {
        {IdClearAll, &DiscWindowModel::ClearAllChosen},
        {IdRemoveFolder, &DiscWindowModel::RemoveFolderChosen},
        {IdRenameFolder, &DiscWindowModel::RenameFolderChosen},
        {IdRemoveFile, &DiscWindowModel::RemoveFileChosen},
        {IdRenameFile, &DiscWindowModel::RenameFileChosen},
        {IdExit, &DiscWindowModel::ExitChosen},
        {IdEject, &DiscWindowModel::EjectChosen},
        {IdCloseTray, &DiscWindowModel::CloseTrayChosen},
        {IdEraseDisc, &DiscWindowModel::EraseDiscChosen},
    };
    BindModelCommands(*this, model_, commands, [this] { ShowModelState(); });
    writeDisc_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        model_.WriteDiscClicked();
        ShowModelState();
    });
    cancel_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        model_.CancelClicked();
        ShowModelState();
    });
    const std::pair<wxChoice*, void (DiscWindowModel::*)(int)> choices[] = {
        {devices_, &DiscWindowModel::DeviceChosen},
        {speeds_, &DiscWindowModel::SpeedChosen},
        {fileSystems_, &DiscWindowModel::FileSystemChosen},
    };
    for (const auto& [control, handler] : choices) {
        control->Bind(wxEVT_CHOICE, [this, handler = handler](wxCommandEvent& event) {
            (model_.*handler)(event.GetSelection());
            ShowModelState();
        });
    }
    label_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
        if (!showing_) {
            model_.LabelTyped(label_->GetValue().utf8_string());
            ShowModelState();
        }
    });
}

void DiscWindow::BindTree()
{
    tree_->Bind(wxEVT_TREE_SEL_CHANGED, [this](wxTreeEvent& event) {
        if (!showing_ && event.GetItem().IsOk()) {
            model_.FolderClicked(KeyOf(event.GetItem()));
            ShowModelState();
        }
    });
    tree_->Bind(wxEVT_TREE_BEGIN_LABEL_EDIT, [this](wxTreeEvent& event) {
        const std::string key = KeyOf(event.GetItem());
        if (key != model_.SelectedFolder()) {
            model_.FolderClicked(key);
        }
        if (!model_.TreeLabelEditStarting(key)) {
            event.Veto();
        }
    });
    tree_->Bind(wxEVT_TREE_END_LABEL_EDIT, [this](wxTreeEvent& event) {
        // The tree shows what the image holds: the node is renamed by the engine's event,
        // after the edit has ended (the tree cannot change while it ends).
        event.Veto();
        if (!event.IsEditCancelled()) {
            const std::string text = event.GetLabel().utf8_string();
            CallAfter([this, text] {
                model_.TreeLabelEdited(text);
                ShowModelState();
            });
        }
    });
    tree_->Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent&) {
        model_.TreeRightClicked();
        ShowModelState();
    });
}

void DiscWindow::BindList()
{
    list_->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& event) {
        const long index = event.GetIndex();
        if (!showing_ && index >= 0 && static_cast<std::size_t>(index) < shownFiles_.size()) {
            model_.FileClicked(shownFiles_[static_cast<std::size_t>(index)].key);
            ShowModelState();
        }
    });
    list_->Bind(wxEVT_LIST_BEGIN_LABEL_EDIT, [this](wxListEvent& event) {
        const long index = event.GetIndex();
        if (index < 0 || static_cast<std::size_t>(index) >= shownFiles_.size()) {
            event.Veto();
            return;
        }
        model_.FileClicked(shownFiles_[static_cast<std::size_t>(index)].key);
    });
    list_->Bind(wxEVT_LIST_END_LABEL_EDIT, [this](wxListEvent& event) {
        event.Veto();
        if (!event.IsEditCancelled()) {
            const std::string text = event.GetLabel().utf8_string();
            CallAfter([this, text] {
                model_.ListLabelEdited(text);
                ShowModelState();
            });
        }
    });
    list_->Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent&) {
        model_.ListRightClicked();
        ShowModelState();
    });
}

void DiscWindow::Run(std::string& pendingFileName, std::string& pendingFilePath)
{
    if (!model_.Open(pendingFileName, pendingFilePath) || closed_) {
        return;
    }
    engine_->AddListener(*watch_);
    watching_ = true;
    ShowModelState();
    CentreOnParent();
    {
        // Modal: every other window of the program is disabled while this one is open.
        wxWindowDisabler disabler(this);
        Show();
        wxMessages_.SetParent(this);
        deliveryTimer_.Start(DeliveryMilliseconds);
        wxGUIEventLoop loop;
        loop_ = &loop;
        if (!closed_) {
            loop.Run();
        }
        loop_ = nullptr;
        deliveryTimer_.Stop();
        Hide();
    }
    if (GetParent() != nullptr) {
        GetParent()->Raise();
    }
}

void DiscWindow::CloseWindow()
{
    if (closed_ || !model_.CloseRequested()) {
        return;
    }
    closed_ = true;
    StopListening();
    if (busyShown_) {
        busyShown_ = false;
        wxEndBusyCursor();
    }
    if (loop_ != nullptr) {
        loop_->Exit();
    }
}

void DiscWindow::StopListening()
{
    if (watching_) {
        engine_->RemoveListener(*watch_);
        watching_ = false;
    }
}

// Takes the events a backend's worker queued for the window's thread. Not re-entered: a
// message an event shows runs a modal loop, in which this timer keeps firing.
void DiscWindow::DeliverEngineEvents()
{
    if (delivering_ || closed_) {
        return;
    }
    delivering_ = true;
    engine_->DeliverEvents();
    delivering_ = false;
}

void DiscWindow::EditTreeLabel(const std::string& key)
{
    const auto found = treeItems_.find(key);
    if (found != treeItems_.end()) {
        // The native tree edits only with the focus.
        tree_->SetFocus();
        tree_->EditLabel(found->second);
    }
}

void DiscWindow::EditListLabel(const std::string& key)
{
    for (std::size_t i = 0; i < shownFiles_.size(); ++i) {
        if (shownFiles_[i].key == key) {
            list_->SetFocus();
            list_->EditLabel(static_cast<long>(i));
            return;
        }
    }
}

void DiscWindow::ShowFileMenu(FileMenuPopup popup)
{
    PopupMenu(popup == FileMenuPopup::Tree ? treeMenu_.get() : listMenu_.get());
}

void DiscWindow::ShowEraseWindow(DiscDevice& drive)
{
    EraseWindow erase(this, injectedMessages_);
    erase.Run(drive, *engine_);
}

void DiscWindow::ProcessPendingEvents()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - lastYield_ < RepaintInterval) {
        return;
    }
    lastYield_ = now;
    ShowModelState();
    // Paints only: a click now would reach the model in the middle of its call.
    if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) {
        loop->YieldFor(wxEVT_CATEGORY_UI);
    }
}

void DiscWindow::Dropped(const std::vector<std::string>& paths)
{
    model_.FilesDropped(paths);
    ShowModelState();
}

std::string DiscWindow::KeyOf(const wxTreeItemId& item) const
{
    const auto* data = item.IsOk() ? dynamic_cast<NodeKey*>(tree_->GetItemData(item)) : nullptr;
    return data != nullptr ? data->key : std::string();
}

void DiscWindow::ShowModelState()
{
    if (showing_) {
        return;
    }
    showing_ = true;
    ShowChoices(devices_, model_.Devices(), model_.DeviceSelection());
    ShowChoices(speeds_, model_.Speeds(), model_.SpeedSelection());
    ShowChoices(fileSystems_, model_.FileSystems(), model_.FileSystemSelection());
    ShowText(label_, model_.Label());
    ShowTree();
    ShowFiles();
    for (std::size_t i = 0; i < DiscOptionCount; ++i) {
        const OptionBox& box = model_.Option(static_cast<DiscOption>(i));
        options_[i]->Enable(box.enabled);
        options_[i]->SetValue(box.checked);
    }
    for (int panel = 0; panel < 3; ++panel) {
        const wxString text = Text(model_.StatusPanels()[static_cast<std::size_t>(panel)]);
        if (GetStatusBar()->GetStatusText(panel) != text) {
            SetStatusText(text, panel);
        }
    }
    if (progress_->GetValue() != model_.Progress()) {
        progress_->SetValue(model_.Progress());
    }
    ShowEnabling();
    showing_ = false;
}

void DiscWindow::ShowEnabling()
{
    const bool enabled = model_.ControlsEnabled();
    for (wxWindow* control :
         std::initializer_list<wxWindow*>{devices_, speeds_, fileSystems_, label_, tree_, list_}) {
        control->Enable(enabled);
    }
    writeDisc_->Enable(model_.WriteDiscEnabled());
    cancel_->Enable(model_.CancelEnabled());
    wxMenuBar* bar = GetMenuBar();
    for (std::size_t menu = 0; menu < bar->GetMenuCount(); ++menu) {
        if (bar->IsEnabledTop(menu) != enabled) {
            bar->EnableTop(menu, enabled);
        }
    }
    for (int id : {IdEject, IdCloseTray, IdEraseDisc}) {
        bar->Enable(id, model_.DriveCommandsEnabled());
    }
    if (busyShown_ != model_.BusyPointer() && !closed_) {
        busyShown_ = model_.BusyPointer();
        busyShown_ ? wxBeginBusyCursor() : wxEndBusyCursor();
    }
}

void DiscWindow::ShowTree()
{
    const std::vector<FolderNode>& nodes = model_.Tree();
    // Folders going in are only ever added at the end; anything else builds the tree anew.
    const bool appended =
        nodes.size() >= shownTree_.size() &&
        std::equal(shownTree_.begin(), shownTree_.end(), nodes.begin(),
                   [](const FolderNode& shown, const FolderNode& node) {
                       return shown.key == node.key && shown.parentKey == node.parentKey;
                   });
    if (!appended) {
        tree_->DeleteAllItems();
        treeItems_.clear();
        shownTree_.clear();
        expandedShown_.clear();
    }
    for (std::size_t i = shownTree_.size(); i < nodes.size(); ++i) {
        const FolderNode& node = nodes[i];
        const auto parent = treeItems_.find(node.parentKey);
        wxTreeItemId item;
        if (parent == treeItems_.end()) {
            item = tree_->AddRoot(Text(node.text), Cd, Cd, new NodeKey(node.key));
        } else {
            item = tree_->AppendItem(parent->second, Text(node.text), ClosedFolder, OpenFolder,
                                     new NodeKey(node.key));
        }
        treeItems_[node.key] = item;
        shownTree_.push_back(node);
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (shownTree_[i].text != nodes[i].text) {
            tree_->SetItemText(treeItems_[nodes[i].key], Text(nodes[i].text));
            shownTree_[i].text = nodes[i].text;
        }
        const wxTreeItemId item = treeItems_[nodes[i].key];
        if (model_.IsExpanded(nodes[i].key) && !expandedShown_.contains(nodes[i].key) &&
            tree_->ItemHasChildren(item)) {
            tree_->Expand(item);
            expandedShown_.insert(nodes[i].key);
        }
    }
    const auto selected = treeItems_.find(model_.SelectedFolder());
    if (selected == treeItems_.end()) {
        if (tree_->GetSelection().IsOk()) {
            tree_->Unselect();
        }
    } else if (tree_->GetSelection() != selected->second) {
        tree_->SelectItem(selected->second);
    }
}

void DiscWindow::ShowFiles()
{
    const std::vector<FileRow>& rows = model_.Files();
    if (!SameRows(rows, shownFiles_)) {
        list_->DeleteAllItems();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const long index =
                list_->InsertItem(static_cast<long>(i), Text(rows[i].name), FileImage);
            list_->SetItem(index, 1, Text(rows[i].size));
            list_->SetItem(index, 2, Text(rows[i].date));
        }
        shownFiles_ = rows;
    }
    const long shown = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    long wanted = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].key == model_.SelectedFile()) {
            wanted = static_cast<long>(i);
        }
    }
    if (shown != wanted) {
        if (shown >= 0) {
            list_->SetItemState(shown, 0, wxLIST_STATE_SELECTED);
        }
        if (wanted >= 0) {
            list_->SetItemState(wanted, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        }
    }
}

}  // namespace kestrel
