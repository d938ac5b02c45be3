#include "ui/FileDialog.h"

#include "platform/WindowMessages.h"
#include "ui/Window.h"
#include "ui/internal/ModalObserver.h"
#include "ui/internal/ModalRun.h"
#include "ui/internal/Resources.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace ui::detail;

namespace ui::detail {
namespace {
ModalObserver* g_observer = nullptr;
}
void setModalObserver(ModalObserver* observer) { g_observer = observer; }
ModalObserver* modalObserver() { return g_observer; }
} // namespace ui::detail

namespace ui {
namespace {

QString filterText(const FileFilter& filter)
{
    QString patterns = toQString(filter.pattern);
    patterns.replace(';', ' ');
    return toQString(filter.name) + " (" + patterns + ")";
}

std::string run(QFileDialog& dialog)
{
    // Tests answer the widget dialog; users get the desktop's own.
    if (ModalObserver* observer = modalObserver()) {
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        observer->fileDialogShown(&dialog);
    }
    const ModalRun modal(&dialog); // ui::CloseModalWindows rejects it
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? std::string() : toStd(files.first());
}

std::string runFileDialog(const FileDialogRequest& request, bool save)
{
    CWindowWnd* owner = CWindowWnd::FromHandle(request.owner);
    QFileDialog dialog(owner ? owner->GetWidget() : nullptr, toQString(request.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters;
    for (const FileFilter& f : request.filters)
        filters << filterText(f);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = request.filterIndex - 1;
        if (index >= 0 && index < filters.size())
            dialog.selectNameFilter(filters[index]);
    }
    std::string ext = request.defaultExtension;
    if (ext.rfind("*.", 0) == 0)
        ext.erase(0, 2);
    if (!ext.empty() && ext.find_first_of("*;") == std::string::npos)
        dialog.setDefaultSuffix(toQString(ext));
    if (!request.defaultName.empty()) {
        const QFileInfo info(toQString(request.defaultName));
        if (info.isAbsolute())
            dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    return run(dialog);
}

// Reaps the opener once it ends and posts its failure. Watched on the UI
// thread through its process descriptor, which becomes readable when the
// process ends: no thread outlives the window it would post to.
void WatchOpener(pid_t child, HWND notify, UINT failedMessage)
{
    // (Through syscall: glibc 2.36 declares pidfd_open without C linkage.)
    const int descriptor = QCoreApplication::instance() ? int(::syscall(SYS_pidfd_open, child, 0)) : -1;
    if (descriptor < 0) {
        std::thread([child] {
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
        return;
    }
    auto* watch = new QSocketNotifier(descriptor, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(watch, &QObject::destroyed, [descriptor] { ::close(descriptor); });
    QObject::connect(watch, &QSocketNotifier::activated, watch, [watch, child, notify, failedMessage] {
        int status = 0;
        pid_t reaped = 0;
        while ((reaped = ::waitpid(child, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (reaped == 0)
            return; // not ended yet
        watch->setEnabled(false);
        watch->deleteLater();
        if (reaped < 0 || !notify || failedMessage == 0)
            return;
        if (!WIFEXITED(status))
            platform::PostMessage(notify, failedMessage, WPARAM(128 + WTERMSIG(status)));
        else if (WEXITSTATUS(status) != 0)
            platform::PostMessage(notify, failedMessage, WPARAM(WEXITSTATUS(status)));
    });
}

} // namespace

std::string GetSaveFileName(const FileDialogRequest& request) { return runFileDialog(request, true); }

std::string GetOpenFileName(const FileDialogRequest& request) { return runFileDialog(request, false); }

std::string BrowseForFolder(HWND owner, const std::string& title, const std::string& startFolder)
{
    CWindowWnd* window = CWindowWnd::FromHandle(owner);
    QFileDialog dialog(window ? window->GetWidget() : nullptr, toQString(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!startFolder.empty())
        dialog.setDirectory(toQString(startFolder));
    return run(dialog);
}

bool OpenFolder(const std::string& folder, HWND notify, UINT failedMessage)
{
    const QFileInfo info(toQString(folder));
    if (folder.empty() || !info.isDir())
        return false;
    // The desktop's opener, started with an empty signal mask: the program
    // blocks its termination signals for the thread that waits for them, and
    // a file manager must not inherit that (it would then ignore Ctrl+C and
    // a logout).
    const std::string path = toStd(info.absoluteFilePath());
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0)
        return false;
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    pid_t child = -1;
    const int failed = posix_spawnp(&child, "xdg-open", nullptr, &attributes, const_cast<char* const*>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0)
        return false;
    // The opener returns once the file manager runs, or fails when it
    // finds none.
    WatchOpener(child, notify, failedMessage);
    return true;
}

} // namespace ui
