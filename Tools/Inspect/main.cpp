// tamblor-inspect: starts the application as module load does and prints
// objects of the shared tree.
//
//     tamblor-inspect [--depth N] PATH...
//
// The start-up log lines come first. Then, for each path (resolved from the
// shared object, so "shared::project" and "project" name the same object):
// the object's tag and name, its attributes in order ("name = value"), and its
// children down to N levels (default 0), each level indented by two blanks.
// Children below the last printed level are summarised by their count. A path
// that does not resolve prints the error record; the exit code is then 1
// (2 for a usage error, 3 when the application does not start).

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Product/ProductCreators.h"
#include "Core/AppErrorWindow.h"
#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/Object.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: tamblor-inspect [--depth N] PATH...\n");
    return 2;
}

// One line per value: control characters are shown as escapes.
std::string printable(const CString& s) {
    std::string out;
    for (char c : s.utf8()) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (uint8_t(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", unsigned(uint8_t(c)));
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out;
}

void printObject(const CObject* o, int level, int depth) {
    const std::string indent(size_t(level) * 2, ' ');
    std::printf("%s%s '%s'\n", indent.c_str(), printable(o->tag()).c_str(), printable(o->name()).c_str());
    for (const CAttribute& a : o->attributes())
        std::printf("%s  %s = %s\n", indent.c_str(), printable(a.name).c_str(), printable(a.value).c_str());
    if (o->childCount() == 0) return;
    if (level >= depth) {
        std::printf("%s  [%zu %s]\n", indent.c_str(), o->childCount(), o->childCount() == 1 ? "child" : "children");
        return;
    }
    for (const auto& c : o->children()) printObject(c.get(), level + 1, depth);
}

}  // namespace

int main(int argc, char** argv) {
    int depth = 0;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--depth" && i + 1 < argc) {
            char* end = nullptr;
            long v = std::strtol(argv[++i], &end, 10);
            if (!end || *end || v < 0 || v > 10000) return usage();
            depth = int(v);
        } else if (a == "-h" || a == "--help" || (a.size() > 1 && a[0] == '-')) {
            return usage();
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty()) return usage();

    // The start-up log goes to standard output; a failing start is reported
    // there too (through the log) rather than in an error window.
    kelSetLogSink([](std::string_view line) { std::printf("%.*s\n", int(line.size()), line.data()); });
    CAppErrorWindow::enableMessages(false);
    CError err = CApplication::start(kelProductStartOptions());
    kelSetLogSink({});
    if (err) return 3;

    int status = 0;
    const CSharedObject* shared = CApplication::sharedObject();
    for (const std::string& path : paths) {
        std::printf("\n%s\n", path.c_str());
        CObject* obj = nullptr;
        if (CError e = shared->findObjectChecked<CObject>(CString(path), &obj)) {
            for (const CString& line : e.lines()) std::printf("%s\n", line.utf8().c_str());
            status = 1;
            continue;
        }
        printObject(obj, 0, depth);
    }
    std::fflush(stdout);
    CApplication::finish();
    return status;
}
