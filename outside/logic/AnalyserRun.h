#pragma once
#include <memory>
#include <string>

#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "sqlite_recovery/framework/ResultCode.h"

// What a recovery library exports as CreateObject.
using LibraryFactory = ICommon* (*)();

// The export of a library found by its name beside the program (or on the search path); null when
// the library or the export is missing. The library stays loaded: objects it made may live on.
void* FindLibraryExport(const wchar_t* library, const char* name);
inline LibraryFactory FindLibraryFactory(const wchar_t* library) {
    return reinterpret_cast<LibraryFactory>(FindLibraryExport(library, "CreateObject"));
}

enum class AnalyserOpening { Opened, NoAnalyser, NotInitialised };

// One recovery library's analyser over a device, with the sink it reports to. Kept after the
// recovery: the container, and every record's data object, belong to the analyser.
template <class Record>
class AnalyserRun {
public:
    using Container = IDataContainer<Record>;
    using Analyser = IRecoveryAnalyzer<Container, IVirtualDevice>;

    AnalyserRun() = default;
    ~AnalyserRun() { Close(); }
    AnalyserRun(const AnalyserRun&) = delete;
    AnalyserRun& operator=(const AnalyserRun&) = delete;

    // Makes the analyser with the library's factory and binds it to the device and the sink (kept
    // as long as the analyser). Opened when the container is there.
    AnalyserOpening Open(LibraryFactory create, IVirtualDevice* device, std::unique_ptr<IProgress> sink) {
        Close();
        ICommon* object = create ? create() : nullptr;
        analyser_ = dynamic_cast<Analyser*>(object);
        if (!analyser_) {
            if (object) object->Release();
            return AnalyserOpening::NoAnalyser;
        }
        sink_ = std::move(sink);
        container_ = analyser_->Initialize(device, sink_.get());
        return container_ ? AnalyserOpening::Opened : AnalyserOpening::NotInitialised;
    }
    // The whole recovery, on the calling thread.
    ResultCode Run(ICommon* argument) {
        return container_ ? analyser_->StartRecovery(argument) : RK_FAIL(RK_E_NOT_INITIALIZED);
    }
    Container* GetContainer() const { return container_; }
    Analyser* GetAnalyser() const { return analyser_; }
    void Close() {
        if (analyser_) analyser_->Release();
        analyser_ = nullptr;
        container_ = nullptr;
        sink_.reset();
    }

private:
    Analyser* analyser_ = nullptr;
    Container* container_ = nullptr;
    std::unique_ptr<IProgress> sink_;
};

// Ticks every record, as the headless run recovers everything.
template <class Record>
void TickAll(IDataContainer<Record>* container) {
    if (!container) return;
    autolocker<IDataContainer<Record>*> lock(container);
    for (auto it = container->Begin(); it != container->End(); ++it) it->second.check = 1;
}

// Told of each item a writer takes up; the recovery window shows its name.
class IWriteObserver {
public:
    virtual ~IWriteObserver();
    // Before the item is written; name is its file's name. False asks the writer to stop here.
    virtual bool OnItem(const std::string& name) = 0;
};
