#include <dlfcn.h>

#include "usb/FTDIdll.h"

namespace tq9 {

const char* D2xxLibraryName() {
    return "libftd2xx.so";
}

namespace dynlib {

void* Open(const std::string& path, std::string& error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        error = why ? why : "cannot be loaded";
    }
    return library;
}

void* Symbol(void* library, const char* name) {
    return dlsym(library, name);
}

void Close(void* library) {
    dlclose(library);
}

}  // namespace dynlib
}  // namespace tq9
