#include "usb/FTDIdll.h"

namespace tq9 {

namespace {
using namespace d2xx;

// A function of the table's type that always fails.
template <typename Fn>
struct Fails;
template <typename... Args>
struct Fails<FT_STATUS(TQ9_FTAPI*)(Args...)> {
    static FT_STATUS TQ9_FTAPI Call(Args...) { return FT_OTHER_ERROR; }
};

// FTDI's library, loaded: the library handle and the functions bound from it.
class D2xxDynamicLibrary : public LoadedDriver {
  public:
    D2xxDynamicLibrary(void* handle, const FTDIdll& table, std::string path)
        : handle_(handle), table_(table), path_(std::move(path)) {}
    ~D2xxDynamicLibrary() override { dynlib::Close(handle_); }
    const FTDIdll& Table() const override { return table_; }
    std::string Origin() const override { return path_; }

  private:
    void* handle_;
    FTDIdll table_;
    std::string path_;
};

// Binds one table entry to the library symbol of the same name.
template <typename Fn>
void Bind(void* library, const char* name, Fn& slot, std::vector<std::string>& missing) {
    void* symbol = dynlib::Symbol(library, name);
    if (!symbol) {
        missing.emplace_back(name);
        return;
    }
    slot = reinterpret_cast<Fn>(symbol);
}
}  // namespace

const FTDIdll& UnavailableDriverTable() {
    static const FTDIdll table = [] {
        FTDIdll t;
#define TQ9_D2XX_FAILS(name, member, params, args) t.name = Fails<decltype(t.name)>::Call;
        TQ9_D2XX_FUNCTIONS(TQ9_D2XX_FAILS)
#undef TQ9_D2XX_FAILS
        return t;
    }();
    return table;
}

std::unique_ptr<LoadedDriver> OpenD2xxLibrary(const std::string& path, std::string& whyNot) {
    void* library = dynlib::Open(path, whyNot);
    if (!library) return nullptr;

    FTDIdll t;
    std::vector<std::string> missing;
#define TQ9_D2XX_BIND(name, member, params, args) Bind(library, #name, t.name, missing);
    TQ9_D2XX_FUNCTIONS(TQ9_D2XX_BIND)
#undef TQ9_D2XX_BIND
    if (!missing.empty()) {
        whyNot = "lacks";
        for (const auto& name : missing)
            whyNot += " " + name;
        dynlib::Close(library);
        return nullptr;
    }
    return std::make_unique<D2xxDynamicLibrary>(library, t, path);
}

std::unique_ptr<D2xxLibrary> D2xxLibrary::Load(const std::string& programDirectory,
                                               bool useOwnLayers) {
    std::unique_ptr<D2xxLibrary> lib(new D2xxLibrary);
    const DriverSearch search{programDirectory, useOwnLayers};
    std::string tried;
    for (const DriverSource& source : DriverSources()) {
        std::string whyNot;
        if (auto driver = source.open(search, whyNot)) {
            lib->loadedFrom_ = driver->Origin();
            lib->source_ = source.name;
            lib->driver_ = std::move(driver);
            lib->passedOver_ = tried;
            return lib;
        }
        if (whyNot.empty()) continue;  // the source does not apply here
        tried += (tried.empty() ? "" : " and ") + whyNot;
    }
    lib->failureReason_ = std::string("The FTDI driver library ") + D2xxLibraryName() +
                          " could not be loaded. It was looked for " + tried + ".";
    return lib;
}

std::string D2xxLibrary::InUseLine() const {
    if (!driver_) return {};
    std::string line = "FTDI driver: " + source_ + " (" + loadedFrom_ + ")";
    if (!passedOver_.empty()) line += "; not used: " + passedOver_;
    return line;
}

const FTDIdll& D2xxLibrary::Table() const {
    return driver_ ? driver_->Table() : UnavailableDriverTable();
}

}  // namespace tq9
