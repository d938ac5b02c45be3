#include "app/shell/capture/SnapshotDestination.h"

#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/capture/SnapshotFiles.h"
#include "ui/FileDialog.h"
#include "ui/ResourceManager.h"

namespace shell {

std::string ChooseSnapshotPath(MainWindowServices& services, bool automatic)
{
    CResourceManager& texts = *CResourceManager::GetInstance();
    const int fileType = Config().FileType;
    if (automatic) {
        const std::string folder = ImageFolder();
        if (folder.empty()) {
            services.setStatus(texts.GetTextOrId("STR_SNAP_FAIL"));
            return {};
        }
        return AutomaticFileName(folder, SnapshotExtension(fileType));
    }
    ui::FileDialogRequest request;
    request.owner = services.window.GetHWND();
    request.title = texts.GetTextOrId("STR_SAVE_FILE");
    request.filters = SnapshotFilters();
    request.defaultExtension = SnapshotPattern(fileType);
    // A dated name in the picture folder to start from, as the automatic names are.
    if (const std::string folder = ImageFolder(); !folder.empty())
        request.defaultName = AutomaticFileName(folder, SnapshotExtension(fileType));
    return ui::GetSaveFileName(request);
}

} // namespace shell
