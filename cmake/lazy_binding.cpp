// The resolver behind the deferred libraries (cmake/LazyLibraries.cmake): the first call of a
// function of such a library lands here through its trampoline, loads the library, finds the
// function and stores its address in the trampoline's slot, so later calls jump straight to it.

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <string>

namespace {

// Opens each library once; the handles stay open for the life of the program.
void* libraryHandle(const char* soname) {
    static std::mutex mutex;
    static std::map<std::string, void*> handles;
    const std::lock_guard lock(mutex);
    void*& handle = handles[soname];
    if (!handle)
        handle = dlopen(soname, RTLD_NOW | RTLD_GLOBAL);
    return handle;
}

[[noreturn]] void failToLoad(const char* name) {
    // The library is a dependency the program was built against, as much as one the loader
    // would have refused to start without.
    const char* reason = dlerror();
    std::fprintf(stderr, "velmora: cannot load %s: %s\n", name, reason ? reason : "not found");
    std::abort();
}

} // namespace

// Called by the trampolines' shared resolver stub with every argument register saved; returns
// the function's address after storing it in `slot`. Two threads may race here: both store the
// same address.
extern "C" void* velmora_lazy_bind(const char* soname, const char* symbol, void** slot) {
    void* handle = libraryHandle(soname);
    if (!handle)
        failToLoad(soname);
    void* address = dlsym(handle, symbol);
    if (!address)
        failToLoad(symbol);
    __atomic_store_n(slot, address, __ATOMIC_RELEASE);
    return address;
}
