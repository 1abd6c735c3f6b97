// POSIX backend of the file dialogs: the desktop's dialog program as a
// child process, and folder listings.
#include "Platform/FileDialog.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace plat {

std::string fileDialogFilterText(const FileDialogFilter& filter) {
    return filter.description + " (*." + filter.extension + ")";
}

namespace {

// The full path of an executable program on PATH, or empty.
std::string findProgram(const char* name) {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::string dirs(path);
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string full = dir + "/" + name;
        struct stat st{};
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0) return full;
        start = end + 1;
    }
    return {};
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::vector<std::string> zenityArgs(const FileDialogRequest& r) {
    std::vector<std::string> a{"--file-selection"};
    if (!r.title.empty()) a.push_back("--title=" + r.title);
    if (r.save) a.push_back("--save");
    if (r.save || !r.folder.empty())
        a.push_back("--filename=" + (r.save ? joinPath(r.folder, r.fileName) : joinPath(r.folder, "")));
    for (const FileDialogFilter& f : r.filters)
        a.push_back("--file-filter=" + fileDialogFilterText(f) + " | *." + f.extension);
    a.push_back("--file-filter=All files | *");
    return a;
}

std::vector<std::string> kdialogArgs(const FileDialogRequest& r) {
    std::vector<std::string> a;
    if (!r.title.empty()) {
        a.push_back("--title");
        a.push_back(r.title);
    }
    a.push_back(r.save ? "--getsavefilename" : "--getopenfilename");
    a.push_back(r.save ? joinPath(r.folder.empty() ? homeFolder() : r.folder, r.fileName)
                       : (r.folder.empty() ? homeFolder() : r.folder));
    std::string filter;
    for (const FileDialogFilter& f : r.filters) {
        if (!filter.empty()) filter += "\n";
        filter += "*." + f.extension + "|" + fileDialogFilterText(f);
    }
    if (!filter.empty()) a.push_back(filter);
    return a;
}

class CChildDialog final : public CSystemFileDialog {
public:
    CChildDialog(const char* backend, pid_t pid, int fd) : m_backend(backend), m_pid(pid), m_fd(fd) {}
    ~CChildDialog() override { cancel(); }

    const char* backend() const override { return m_backend; }

    FileDialogResult poll() override {
        if (m_done) return m_result;
        drain();
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == 0) return {};
        m_pid = -1;
        drain();
        closeFd();
        m_done = true;
        if (r < 0) {
            m_result.status = FileDialogResult::Status::Failed;
            m_result.error = std::strerror(errno);
        } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            // One chosen file per line; blank lines and a trailing newline are ignored.
            size_t start = 0;
            while (start < m_output.size()) {
                size_t end = m_output.find('\n', start);
                if (end == std::string::npos) end = m_output.size();
                std::string line = m_output.substr(start, end - start);
                while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
                if (!line.empty()) m_result.paths.push_back(line);
                start = end + 1;
            }
            m_result.status = m_result.paths.empty() ? FileDialogResult::Status::Cancelled
                                                     : FileDialogResult::Status::Chosen;
        } else if (WIFEXITED(status) && WEXITSTATUS(status) == 1) {
            m_result.status = FileDialogResult::Status::Cancelled;
        } else {
            m_result.status = FileDialogResult::Status::Failed;
            m_result.error = std::string(m_backend) + " ended with status " +
                             std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        }
        return m_result;
    }

    void cancel() override {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        closeFd();
        if (!m_done) {
            m_done = true;
            m_result.status = FileDialogResult::Status::Cancelled;
        }
    }

private:
    void drain() {
        if (m_fd < 0) return;
        char buf[1024];
        for (;;) {
            const ssize_t n = read(m_fd, buf, sizeof buf);
            if (n > 0) {
                // A file name is short; anything beyond 64 kB is not one.
                if (m_output.size() < 65536) m_output.append(buf, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) closeFd();
            return;
        }
    }
    void closeFd() {
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }

    const char* m_backend;
    pid_t m_pid;
    int m_fd;
    bool m_done = false;
    std::string m_output;
    FileDialogResult m_result;
};

}  // namespace

std::unique_ptr<CSystemFileDialog> CSystemFileDialog::start(const FileDialogRequest& request, std::string* error) {
    const char* backend = "zenity";
    std::string program = findProgram("zenity");
    std::vector<std::string> args;
    if (!program.empty()) {
        args = zenityArgs(request);
    } else if (!(program = findProgram("kdialog")).empty()) {
        backend = "kdialog";
        args = kdialogArgs(request);
    } else {
        return nullptr;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        if (error) *error = std::strerror(errno);
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        if (error) *error = program + ": " + std::strerror(rc);
        return nullptr;
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    return std::make_unique<CChildDialog>(backend, pid, fds[0]);
}

bool listFolder(const std::string& folder, std::vector<std::string>* folders, std::vector<std::string>* files) {
    DIR* d = opendir(folder.empty() ? "/" : folder.c_str());
    if (!d) return false;
    folders->clear();
    files->clear();
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue;
        struct stat st{};
        if (stat(joinPath(folder, name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) folders->push_back(name);
        else if (S_ISREG(st.st_mode)) files->push_back(name);
    }
    closedir(d);
    std::sort(folders->begin(), folders->end());
    std::sort(files->begin(), files->end());
    return true;
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home ? std::string(home) : std::string();
}

}  // namespace plat
