#include "transfer/RAR.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "inventory/SafeName.hpp"
#include "platform/FileSystem.hpp"
#include "platform/HandlerBoundary.hpp"
#include "platform/MessageBox.hpp"
#include "platform/Text.hpp"
#include "transfer/RAR_DLL.hpp"  // last: the library's header defines Windows type names

namespace tarvos {

namespace {

constexpr int kErrorNotAvailable = 99;
constexpr unsigned kCommentSize = 65536;

int CALLBACK UnRarCallback(UINT message, LPARAM userData, LPARAM p1, LPARAM p2) {
    return CallbackBoundary(-1, [&] { return reinterpret_cast<TRAR*>(userData)->LibraryCallback(message, p1, p2); });
}

// The library takes archive names as byte strings in the ANSI code page, with the host's
// separator.
std::string LibraryName(const std::string& utf8) { return Utf8ToAnsi(PathToUtf8(PathFromUtf8(utf8))); }

std::string WideToUtf8(const wchar_t* text) {
    std::u16string units;
    for (; *text; ++text) {
        auto c = static_cast<std::uint32_t>(*text);
        if (sizeof(wchar_t) == 4 && c >= 0x10000) {
            c -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (c >> 10));
            units += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
    }
    return Utf16ToUtf8(units);
}

std::string BareName(const std::string& name) {
    const auto cut = name.find_last_of("\\/");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string HostOsName(unsigned host) {
    switch (host) {
        case 0: return "DOS";
        case 1: return "IBM OS/2";
        case 2: return "Windows";
        case 3: return "Unix";
        default: return "unknown";
    }
}

std::int64_t Join(unsigned low, unsigned high) { return static_cast<std::int64_t>((std::uint64_t{high} << 32) | low); }

// The library marks folders itself; the attribute is what archives from Windows carry.
bool IsFolder(const RARHeaderDataEx& h) {
    return (h.Flags & RHDF_DIRECTORY) || (h.HostOS <= 2 && (h.FileAttr & 0x10));
}

bool FileExists(const std::string& name) {
    std::error_code ec;
    return std::filesystem::is_regular_file(PathFromUtf8(name), ec);
}

}  // namespace

// Closes the archive when the operation that opened it ends, however it ends.
class TRAR::OpenedArchive {
public:
    explicit OpenedArchive(TRAR& rar) : rar_(rar) {}
    ~OpenedArchive() {
        try {
            rar_.CloseArchive();
        } catch (...) {
            // an error handler must not escape from here
        }
    }

private:
    TRAR& rar_;
};

TRAR::TRAR()
    : RARDLLInstance(std::make_unique<TRARDll>()),
      ArchiveData(std::make_unique<RAROpenArchiveDataEx>()),
      hdrData(std::make_unique<RARHeaderDataEx>()) {}

TRAR::~TRAR() = default;

bool TRAR::isDLLLoaded() const { return RARDLLInstance->Loaded(); }

bool TRAR::LoadDLL() {
    if (isDLLLoaded()) return true;
    if (!RARDLLInstance->Load()) return false;
    if (static_cast<std::uint32_t>(RARDLLInstance->Functions().RARGetDllVersion()) < kMinDllVersion)
        ShowMessageBox("error", "The UnRAR library is too old. Please use unrar.dll version 4 or newer.");
    return true;
}

void TRAR::UnloadDLL() { RARDLLInstance = std::make_unique<TRARDll>(); }

std::uint32_t TRAR::GetDllVersion() {
    if (!LoadDLL()) {
        ReportError(kErrorNotAvailable);
        return 0;
    }
    return static_cast<std::uint32_t>(RARDLLInstance->Functions().RARGetDllVersion());
}

void TRAR::ReportError(int code) {
    if (code == ERAR_NO_MEMORY || code == ERAR_BAD_DATA || (code >= ERAR_UNKNOWN_FORMAT && code <= ERAR_UNKNOWN) ||
        code == kErrorNotAvailable)
        fAbort = true;
    if (OnError) OnError(code);
}

bool TRAR::OpenFile(const std::string& FileName) {
    fArchiveInformation = TRARArchiveInformation();
    if (!LoadDLL()) {
        ReportError(kErrorNotAvailable);
        return false;
    }
    fArchiveName = LibraryName(FileName);
    fArchiveInformation.FileName = FileName;
    const bool listed = List();
    fArchiveInformation.Opened = true;
    return listed;
}

bool TRAR::OpenArchive(unsigned mode) {
    fAbort = false;
    if (!isDLLLoaded()) {
        ReportError(kErrorNotAvailable);
        return false;
    }
    if (Comment.empty()) Comment.resize(kCommentSize);
    *ArchiveData = RAROpenArchiveDataEx{};
    ArchiveData->ArcName = fArchiveName.data();
    ArchiveData->OpenMode = mode;
    ArchiveData->CmtBuf = Comment.data();
    ArchiveData->CmtBufSize = kCommentSize;
    // Given here as well, so a header password is asked for while the archive opens.
    ArchiveData->Callback = UnRarCallback;
    ArchiveData->UserData = reinterpret_cast<LPARAM>(this);
    ArchiveHandle = RARDLLInstance->Functions().RAROpenArchiveEx(ArchiveData.get());
    if (!ArchiveHandle) {
        ReportError(kErrorNotAvailable);
        return false;
    }
    auto& info = fArchiveInformation;
    const unsigned flags = ArchiveData->Flags;
    info.ArchiveComment = flags & ROADF_COMMENT;
    info.Locked = flags & ROADF_LOCK;
    info.Solid = info.Solid || (flags & ROADF_SOLID);
    info.Signed = flags & ROADF_SIGNED;
    info.Recovery = flags & ROADF_RECOVERY;
    info.HeaderEncrypted = flags & ROADF_ENCHEADERS;
    const unsigned state = ArchiveData->CmtState;
    if (state == 1)
        info.Comment.assign(Comment.data(), strnlen(Comment.data(), std::min(ArchiveData->CmtSize, kCommentSize)));
    else if (state != 0) {
        ReportError(static_cast<int>(state));
        return false;
    }
    RARDLLInstance->Functions().RARSetCallback(ArchiveHandle, UnRarCallback, reinterpret_cast<LPARAM>(this));
    if (!Password.empty()) {
        std::string password = Utf8ToAnsi(Password);
        RARDLLInstance->Functions().RARSetPassword(ArchiveHandle, password.data());
    }
    return true;
}

void TRAR::CloseArchive() {
    if (!ArchiveHandle) return;
    const int code = RARDLLInstance->Functions().RARCloseArchive(ArchiveHandle);
    ArchiveHandle = nullptr;
    if (code == ERAR_ECLOSE) ReportError(code);
}

bool TRAR::List() {
    OpenedArchive guard(*this);
    if (!OpenArchive(ReadMultiVolumeToEnd ? RAR_OM_LIST_INCSPLIT : RAR_OM_LIST)) return false;
    fPackedSizeMVVolume = 0;
    const auto& f = RARDLLInstance->Functions();
    for (;;) {
        int code = f.RARReadHeaderEx(ArchiveHandle, hdrData.get());
        if (code == ERAR_END_ARCHIVE) return true;
        if (code == ERAR_SUCCESS) {
            RecordEntry();
            code = f.RARProcessFile(ArchiveHandle, RAR_SKIP, nullptr, nullptr);
        }
        if (code != ERAR_SUCCESS) {
            ReportError(code);
            return false;
        }
    }
}

void TRAR::RecordEntry() {
    const RARHeaderDataEx& h = *hdrData;
    auto& info = fArchiveInformation;
    const int version = static_cast<int>(h.UnpVer);
    if (version > info.ArchiverMajorVersion * 10 + info.ArchiverMinorVersion) {
        info.ArchiverMajorVersion = version / 10;
        info.ArchiverMinorVersion = version % 10;
    }
    info.Encryption = info.Encryption || (h.Flags & RHDF_ENCRYPTED);
    info.Solid = info.Solid || (h.Flags & RHDF_SOLID);
    info.HostOS = HostOsName(h.HostOS);
    const bool continued = h.Flags & RHDF_SPLITBEFORE;  // a later part of a split entry
    const std::int64_t packed = Join(h.PackSize, h.PackSizeHigh);
    fPackedSizeMVVolume = continued ? fPackedSizeMVVolume + static_cast<std::uint32_t>(packed)
                                    : static_cast<std::uint32_t>(packed);
    info.CompressedSize += packed;
    if (!continued && !IsFolder(h)) {
        ++info.TotalFiles;
        // Newer archives state the dictionary outright; older ones code it in flag bits 5-7.
        static const std::int64_t kDictionaries[] = {65536, 131072, 262144, 524288, 1048576, 2097152, 4194304};
        const unsigned bits = (h.Flags >> 5) & 7;
        if (h.DictSize)
            info.DictionarySize = std::int64_t{h.DictSize} * 1024;
        else if (bits < 7)
            info.DictionarySize = kDictionaries[bits];
        info.UnCompressedSize += Join(h.UnpSize, h.UnpSizeHigh);
    }
    if (h.Flags & (RHDF_SPLITBEFORE | RHDF_SPLITAFTER)) info.MultiVolume = true;
    if (h.CmtSize) info.FileComment = true;
    if (OnListFile)
        OnListFile(TRARFileItem{WideToUtf8(h.FileNameW), packed, Join(h.UnpSize, h.UnpSizeHigh), HostOsName(h.HostOS),
                                h.FileCRC, h.FileTime, h.FileAttr, version, bool(h.Flags & RHDF_ENCRYPTED), IsFolder(h)});
}

bool TRAR::Extract(const std::string& Path, bool RestoreFolder, const std::vector<std::string>* Files) {
    return ProcessEntries(Path, RestoreFolder, Files, RAR_EXTRACT);
}

bool TRAR::Test() { return ProcessEntries("", true, nullptr, RAR_TEST); }

bool TRAR::ProcessEntries(const std::string& Path, bool RestoreFolder, const std::vector<std::string>* Files,
                          int operation) {
    OpenedArchive guard(*this);
    if (!OpenArchive(RAR_OM_EXTRACT)) return false;
    // An empty folder means the current one, not the root of the drive.
    std::string path = Path.empty() ? "." : Path;
    if (path.back() != '\\') path += '\\';
    fProgressInfo = TRARProgressInfo();
    WriteError = 0;
    bool result = true;
    while (!fAbort) {
        int code = RARDLLInstance->Functions().RARReadHeaderEx(ArchiveHandle, hdrData.get());
        if (code == ERAR_END_ARCHIVE) break;
        const bool headerRead = code == ERAR_SUCCESS;
        if (headerRead) code = ProcessEntry(path, RestoreFolder, Files, operation);
        if (code != ERAR_SUCCESS) {
            ReportError(code);
            result = false;
        }
        if (!headerRead) break;
    }
    return result && !fAbort;
}

int TRAR::ProcessEntry(const std::string& path, bool RestoreFolder, const std::vector<std::string>* Files,
                       int operation) {
    const RARHeaderDataEx& h = *hdrData;
    const std::string name = WideToUtf8(h.FileNameW);
    fProgressInfo.FileBytesDone = 0;
    fProgressInfo.FileBytesTotal = Join(h.UnpSize, h.UnpSizeHigh);
    fProgressInfo.FileName = name;
    const auto& f = RARDLLInstance->Functions();
    if (Files && std::find(Files->begin(), Files->end(), name) == Files->end())
        return f.RARProcessFile(ArchiveHandle, RAR_SKIP, nullptr, nullptr);
    // An entry named to climb out of the target folder ("..\..\x", "C:\x", "\\share\x") comes
    // from a broken or hostile archive: it is passed over, never written.
    if (operation == RAR_EXTRACT && !IsSafeRelativePath(name))
        return f.RARProcessFile(ArchiveHandle, RAR_SKIP, nullptr, nullptr);
    return ExtractEntry(path, RestoreFolder, operation);
}

int TRAR::ExtractEntry(const std::string& path, bool RestoreFolder, int operation) {
    const RARHeaderDataEx& h = *hdrData;
    const auto& f = RARDLLInstance->Functions();
    const std::string name = fProgressInfo.FileName;
    const std::string destination = path + (RestoreFolder ? name : BareName(name));
    TRARReplace decision = TRARReplace::rrOverwrite;
    if (operation == RAR_EXTRACT && OnReplace && FileExists(destination)) {
        decision = OnReplace(TRARReplaceData{destination, 0, 0},
                             TRARReplaceData{name, fProgressInfo.FileBytesTotal, h.FileTime});
        if (decision == TRARReplace::rrCancel) fAbort = true;
    }
    std::string libraryPath = LibraryDestinationText(path);
    if (decision == TRARReplace::rrSkip || decision == TRARReplace::rrCancel)
        return f.RARProcessFile(ArchiveHandle, RAR_SKIP, libraryPath.data(), nullptr);
    if (operation == RAR_TEST) return f.RARProcessFile(ArchiveHandle, RAR_TEST, nullptr, nullptr);
    if (RestoreFolder) return f.RARProcessFile(ArchiveHandle, RAR_EXTRACT, libraryPath.data(), nullptr);
    // Flat: folders are not created, and the library still has to move past the entry.
    if (IsFolder(h)) return f.RARProcessFile(ArchiveHandle, RAR_SKIP, nullptr, nullptr);
    std::string libraryName = LibraryDestinationText(destination);
    const int code = f.RARProcessFile(ArchiveHandle, RAR_EXTRACT, nullptr, libraryName.data());
    // Taken at once, before anything else can change it.
    if (code == ERAR_EWRITE || code == ERAR_ECREATE) WriteError = LastSystemError();
    return code;
}

int TRAR::LibraryCallback(unsigned message, std::intptr_t p1, std::intptr_t p2) {
    try {
        bool proceed = true;
        switch (message) {
            case UCM_CHANGEVOLUME:
                proceed = ChangeVolume(reinterpret_cast<char*>(p1), p2);
                break;
            case UCM_PROCESSDATA:
                fProgressInfo.FileBytesDone += p2;
                fProgressInfo.TotalSize += p2;
                if (OnProcess) OnProcess(fProgressInfo);
                break;
            case UCM_NEEDPASSWORD:
                proceed = NeedPassword(reinterpret_cast<char*>(p1), p2);
                break;
            default:  // the wide-text variants: answered through the byte-string ones that follow
                break;
        }
        return proceed && !fAbort ? 0 : -1;
    } catch (...) {
        // Nothing may unwind through the library's frames.
        fAbort = true;
        return -1;
    }
}

bool TRAR::ChangeVolume(char* name, std::intptr_t mode) {
    if (mode == RAR_VOL_NOTIFY) return true;
    if (!fArchiveInformation.Opened && !ReadMultiVolumeToEnd) return false;
    if (!OnNextVolumeRequired) return true;
    std::string volume = AnsiToUtf8(name);
    if (!OnNextVolumeRequired(volume)) return false;
    // The library's name buffer holds 2048 characters.
    const std::string answer = Utf8ToAnsi(volume).substr(0, 2047);
    std::memcpy(name, answer.c_str(), answer.size() + 1);
    return true;
}

bool TRAR::NeedPassword(char* buffer, std::intptr_t size) {
    if (size <= 0) return false;
    // The set password also answers for encrypted headers, which are read before it can be set.
    std::string password = Password;
    if (OnPasswordRequired && !OnPasswordRequired(!fArchiveInformation.Opened, password)) return false;
    const std::string answer = Utf8ToAnsi(password).substr(0, static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, answer.c_str(), answer.size() + 1);
    return true;
}

int UnRarFile(const std::string& archiveName, const std::string& destFolder,
              const std::function<void(int64_t done, int64_t total)>& progress) {
    static TRAR shared;
    if (!FileExists(archiveName)) return 0;
    if (!shared.OpenFile(archiveName)) return 0;
    shared.OnProcess = [&progress](const TRARProgressInfo& info) {
        if (progress) progress(info.FileBytesDone, info.FileBytesTotal);
    };
    shared.Extract(destFolder, false, nullptr);
    shared.OnProcess = nullptr;
    return shared.WriteError;
}

}  // namespace tarvos
