// POSIX backend of the error window: the texts on standard error.
#include "Platform/ErrorWindow.h"

#include <cstdio>

namespace plat {

void showErrorWindow(const ErrorWindowContent& c) {
    std::fprintf(stderr, "%s\n%s\n%s", c.title.c_str(), c.text.c_str(), c.details.c_str());
}

}  // namespace plat
