#include "system/library.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <gelf.h>
#include <libelf.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <mutex>
#include <system_error>
#include <thread>

namespace kavel::platform {

namespace {

bool elfReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = elf_version(EV_CURRENT) != EV_NONE; });
    return ready;
}

std::vector<std::string> readExports(Elf* elf) {
    std::vector<std::string> names;
    if (!elf || elf_kind(elf) != ELF_K_ELF) return names;
    Elf_Scn* section = nullptr;
    while ((section = elf_nextscn(elf, section)) != nullptr) {
        GElf_Shdr header;
        if (!gelf_getshdr(section, &header) || header.sh_type != SHT_DYNSYM) continue;
        Elf_Data* data = elf_getdata(section, nullptr);
        if (!data || header.sh_entsize == 0) break;
        // The size of the data read, not the header's claim: a damaged file
        // may promise more entries than it holds.
        std::size_t count = data->d_size / header.sh_entsize;
        if (count > static_cast<std::size_t>(INT_MAX)) count = INT_MAX;
        for (std::size_t i = 0; i < count; ++i) {
            GElf_Sym symbol;
            if (!gelf_getsym(data, static_cast<int>(i), &symbol)) break;
            const int type = GELF_ST_TYPE(symbol.st_info);
            const int binding = GELF_ST_BIND(symbol.st_info);
            if (type != STT_FUNC && type != STT_GNU_IFUNC) continue;
            if (binding != STB_GLOBAL && binding != STB_WEAK) continue;
            if (symbol.st_shndx == SHN_UNDEF) continue;
            const char* name = elf_strptr(elf, header.sh_link, symbol.st_name);
            if (name && *name) names.emplace_back(name);
        }
        break;  // a library has one dynamic symbol table
    }
    return names;
}

}  // namespace

void* openLibrary(const std::string& path) {
    if (path.empty()) return nullptr;
    // dlopen searches the system's library folders for a bare name.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = ::dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) ::dlerror();  // clear the message; a failed plug-in is skipped silently
    return library;
}

std::string libraryPath(void* library) {
    link_map* map = nullptr;
    if (!library || ::dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return {};
    return map->l_name;
}

void* retainLibrary(void* library) {
    const std::string path = libraryPath(library);
    if (path.empty()) return nullptr;
    // RTLD_NOLOAD finds the library already mapped under that name and
    // counts one more reference; it never maps a second copy.
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
}

void closeLibrary(void* library) {
    if (library) ::dlclose(library);
}

void* librarySymbol(void* library, const std::string& name) {
    if (!library) return nullptr;
    ::dlerror();
    return ::dlsym(library, name.c_str());
}

std::vector<std::string> exportedFunctions(const std::string& path) {
    if (!elfReady()) return {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    Elf* elf = elf_begin(fd, ELF_C_READ_MMAP, nullptr);
    std::vector<std::string> names = readExports(elf);
    if (elf) elf_end(elf);
    ::close(fd);
    return names;
}

std::vector<std::string> exportedFunctionsInImage(std::string_view image) {
    if (!elfReady() || image.empty()) return {};
    // libelf wants a writable image; the caller's bytes stay untouched.
    std::string copy(image);
    Elf* elf = elf_memory(copy.data(), copy.size());
    std::vector<std::string> names = readExports(elf);
    if (elf) elf_end(elf);
    return names;
}

std::vector<std::string> listFolder(const std::string& folder, std::string_view pattern) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    const std::string glob(pattern);
    while (const dirent* entry = ::readdir(dir)) {
        if (::fnmatch(glob.c_str(), entry->d_name, FNM_PERIOD) == 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

bool startDetachedThread(std::function<void()> body) {
    try {
        std::thread(std::move(body)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void runOnMainThread(std::function<void()> job) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        job();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(job), Qt::QueuedConnection);
}

}  // namespace kavel::platform
