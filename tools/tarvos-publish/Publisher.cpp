#include "Publisher.hpp"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <ostream>
#include <thread>
#include <unordered_set>

#include "DeltaFiles.hpp"
#include "ListFiles.hpp"
#include "Pack.hpp"
#include "Scan.hpp"
#include "System.hpp"
#include "inventory/CustomMD5.hpp"
#include "inventory/SafeName.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos::publish {
namespace fs = std::filesystem;

namespace {

bool IsDigest(const std::string& s) { return s.size() == 32 && s != kEmptyDigest; }

bool IsInside(const fs::path& inner, const fs::path& outer) {
    auto rel = inner.lexically_relative(outer);
    return !rel.empty() && *rel.begin() != "..";
}

std::string MiB(int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / 1048576.0);
    return text;
}

class ProgressBar {
public:
    ProgressBar(bool enabled, int files, int64_t bytes) : enabled_(enabled), files_(files), bytes_(bytes) {}
    void Draw(const PackProgress& p) {
        if (!enabled_) return;
        const double part = bytes_ > 0 ? static_cast<double>(p.bytesDone) / static_cast<double>(bytes_)
                                       : static_cast<double>(p.filesDone) / std::max(1, files_);
        const int filled = static_cast<int>(part * 30);
        std::fprintf(stderr, "\rpacking [%s%s] %d/%d files, %s of %s ", std::string(filled, '#').c_str(),
                     std::string(30 - filled, '-').c_str(), p.filesDone.load(), files_,
                     MiB(p.bytesDone).c_str(), MiB(bytes_).c_str());
        std::fflush(stderr);
        drawn_ = true;
    }
    void Clear() {
        if (drawn_) std::fprintf(stderr, "\r%*s\r", 90, "");
        drawn_ = false;
    }

private:
    bool enabled_, drawn_ = false;
    int files_;
    int64_t bytes_;
};

// Removes the archive of a file that is no longer published, and the folders it leaves empty.
bool RemoveArchive(const fs::path& server, const std::string& name) {
    if (!IsSafeListName(name)) return false;  // an edited old list must not point elsewhere
    std::error_code ec;
    fs::path archive = ArchiveOf(server, name);
    RemoveDeltaFiles(archive);
    bool removed = fs::remove(archive, ec);
    for (fs::path dir = archive.parent_path(); IsInside(dir, server); dir = dir.parent_path())
        if (!fs::remove(dir, ec)) break;  // fails on a folder that still holds something
    return removed;
}

void RemovePartials(const fs::path& server) {
    std::error_code ec;
    std::vector<fs::path> partials;
    for (fs::recursive_directory_iterator it(server, ec), end; !ec && it != end; it.increment(ec))
        if (IsPartialName(it->path())) partials.push_back(it->path());
    for (const auto& p : partials) fs::remove(p, ec);
}

fs::path SerialFileOf(const fs::path& keyFile) { return fs::path(keyFile).concat(".serial"); }

uint64_t ReadSerialFile(const fs::path& file) {
    std::ifstream in(file);
    uint64_t serial = 0;
    in >> serial;
    return in ? serial : 0;
}

// The serial only grows: one above the highest of the last list in the server folder and
// the one kept beside the key, so that neither a fresh server folder nor a restored key
// makes it go back.
ListRelease NextRelease(const Options& o, const fs::path& server, const std::vector<ListSecretKey>& keys,
                        std::vector<std::string>& errors) {
    ListRelease release;
    const uint64_t last = std::max(ReadPublishedRelease(server).serial, ReadSerialFile(SerialFileOf(*o.signKey)));
    release.serial = o.serial ? o.serial : last + 1;
    if (release.serial < last)
        errors.push_back("--serial " + std::to_string(o.serial) + ": release " + std::to_string(last) +
                         " was published before, and launchers that took it refuse a lower one");
    if (o.expiresAfter > 0) release.expires = static_cast<int64_t>(std::time(nullptr)) + o.expiresAfter;
    if (keys.size() > 1) release.nextKey = ListKeyText(PublicKeyOf(keys[1]));
    return release;
}

struct Inputs {
    fs::path rar;
    std::vector<ListSecretKey> keys;  // the signing key, then the one to follow it
    ListRelease release;
    std::vector<std::string> required, deleted;
    ScanResult scan;
};

std::vector<std::string> Gather(const Options& o, const fs::path& game, const fs::path& server, Inputs& in) {
    std::vector<std::string> errors;
    std::error_code ec;
    if (!fs::is_directory(game, ec)) return {"the game folder " + PathToUtf8(o.game) + " does not exist"};
    if (server == game || IsInside(server, game))
        return {"the server folder must lie outside the game folder, or it would publish itself"};
    auto rar = FindProgram(o.rar);
    if (!rar) {
        errors.push_back(o.rar == "rar"
                             ? "the rar program was not found on the search path; install it or name it "
                               "with --rar"
                             : "--rar " + o.rar + ": no such program");
    } else {
        in.rar = *rar;
    }
    if (o.signKey) {
        try {
            in.keys.push_back(ReadSecretKeyFile(*o.signKey));
            if (o.nextKey) in.keys.push_back(ReadSecretKeyFile(*o.nextKey));
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
        in.release = NextRelease(o, server, in.keys, errors);
    }
    if (o.required) in.required = ReadNameFile(*o.required, errors);
    if (o.deleted) in.deleted = ReadNameFile(*o.deleted, errors);
    in.scan = ScanGameFolder(game, server);
    errors.insert(errors.end(), in.scan.errors.begin(), in.scan.errors.end());

    std::unordered_set<std::string> published;
    for (const auto& f : in.scan.files) published.insert(TFileList::KeyOf(f.name));
    for (const auto& name : in.required)
        if (!published.count(TFileList::KeyOf(name)))
            errors.push_back(name +
                             ": required, but not in the game folder (the launcher would fetch it in vain)");
    for (const auto& name : in.deleted)
        if (published.count(TFileList::KeyOf(name)))
            errors.push_back(name +
                             ": in the delete list, but published (the launcher would delete and fetch it "
                             "at every start)");
    if (in.scan.files.empty() && in.scan.errors.empty() && in.required.empty() && in.deleted.empty())
        errors.push_back("the game folder " + PathToUtf8(o.game) + " holds no file to publish");
    return errors;
}

}  // namespace

int Publish(const Options& o, std::ostream& out, std::ostream& err) {
    const fs::path game = fs::weakly_canonical(fs::absolute(o.game));
    const fs::path server = fs::weakly_canonical(fs::absolute(o.server));
    Inputs in;
    std::vector<std::string> errors = Gather(o, game, server, in);
    if (!errors.empty()) {
        for (const auto& e : errors) err << "tarvos-publish: " << e << "\n";
        return 1;
    }
    fs::create_directories(server);
    RemovePartials(server);

    std::unique_ptr<TFileList> previous;
    try {
        previous = ReadPublishedList(server);
    } catch (const std::exception& e) {
        err << "tarvos-publish: warning: the old updater.lst is unreadable (" << e.what()
            << "); repacking everything\n";
        previous = std::make_unique<TFileList>(true);
    }

    // A file is repacked when its size or date differ from the last run's record, or its
    // archive is gone; otherwise the record is kept without reading the file again. With
    // --rehash the file's digest must match the record as well, for content changed in place
    // with its size and date kept.
    TFileList files(true);
    std::vector<PackJob> work;
    int64_t workBytes = 0, totalBytes = 0;
    std::error_code ec;
    // Big files get a block index and an uncompressed copy when they changed, or when they
    // lack them (the option was just turned on); everything else loses stale ones.
    std::vector<SourceFile> deltaWork;
    std::vector<fs::path> deltaStale;
    for (auto& f : in.scan.files) {
        totalBytes += f.size;
        const TFileItem* old = previous->GetItemByName(f.name);
        const bool kept = old && old->Content.Size == f.size && old->Content.Date == f.date &&
                          IsDigest(old->Content.Hash) && IsDigest(old->Content.HashPacked) &&
                          fs::is_regular_file(f.archive, ec) &&
                          (!o.rehash || FileMD5(PathToUtf8(f.path)) == old->Content.Hash);
        // A file repacked for any reason (--rehash found it changed in place, too) needs its
        // index and copy made again: the old ones describe other bytes.
        if (o.deltaMinSize > 0 && f.size >= o.deltaMinSize) {
            if (!kept || !HasDeltaFiles(f)) deltaWork.push_back(f);
        } else {
            deltaStale.push_back(f.archive);
        }
        if (kept) {
            files.AddItemSimple(f.name, old->Content.Hash, old->Content.HashPacked, f.size, f.date);
            continue;
        }
        workBytes += f.size;
        PackJob job;
        job.partial = PartialOf(f.archive);
        job.file = std::move(f);
        work.push_back(std::move(job));
    }

    const unsigned jobs = o.jobs ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    PackProgress progress;
    ProgressBar bar(StderrIsTerminal(), static_cast<int>(work.size()), workBytes);
    PackAll(work, in.rar, jobs, progress, [&] { bar.Draw(progress); });
    bar.Clear();
    for (const auto& job : work)
        if (!job.error.empty()) errors.push_back(job.error);
    if (!errors.empty()) {
        for (const auto& job : work) fs::remove(job.partial, ec);
        for (const auto& e : errors) err << "tarvos-publish: " << e << "\n";
        err << "tarvos-publish: nothing was changed in " << PathToUtf8(o.server) << "\n";
        return 1;
    }

    int64_t deltaBytes = 0;
    for (const auto& f : deltaWork) {
        try {
            deltaBytes += WriteDeltaFiles(f);
        } catch (const std::exception& e) {
            errors.push_back(f.name + ": no block index: " + e.what());
        }
    }
    if (!errors.empty()) {
        for (const auto& job : work) fs::remove(job.partial, ec);
        RemovePartials(server);
        for (const auto& e : errors) err << "tarvos-publish: " << e << "\n";
        return 1;
    }
    for (const auto& job : work) {
        MoveIntoPlace(job.partial, job.file.archive);
        files.AddItemSimple(job.file.name, job.hash, job.hashPacked, job.file.size, job.file.date);
    }
    std::vector<std::string> lines = ListLines(files, in.required, in.deleted);
    if (!in.keys.empty()) lines.insert(lines.begin(), ListReleaseLine(in.release));
    const int64_t packedList = WriteListFiles(server, lines, in.keys);
    if (o.signKey) std::ofstream(SerialFileOf(*o.signKey)) << in.release.serial << "\n";
    // Only now, when no list names them any more.
    for (const auto& archive : deltaStale) RemoveDeltaFiles(archive);
    int removed = 0;
    for (int32_t i = 0; i < previous->Count(); ++i) {
        const std::string& name = previous->GetItemByID(i)->Content.Name;
        if (files.GetId(name) < 0 && RemoveArchive(server, name)) ++removed;
    }

    out << "published " << files.Count() << " files (" << MiB(totalBytes) << ") to " << PathToUtf8(o.server)
        << ": " << work.size() << " packed, " << files.Count() - static_cast<int32_t>(work.size())
        << " unchanged, " << removed << " archives removed";
    if (!deltaWork.empty())
        out << ", " << deltaWork.size() << " block indexes (" << MiB(deltaBytes) << " with their copies)";
    if (!in.required.empty()) out << ", " << in.required.size() << " required";
    if (!in.deleted.empty()) out << ", " << in.deleted.size() << " to delete";
    out << "; updater.lst.ta2 " << packedList << " bytes";
    if (!in.keys.empty()) {
        out << ", signed (updater.lst.ta2.sig), release " << in.release.serial;
        if (in.release.expires) out << " until " << UtcText(in.release.expires);
        if (!in.release.nextKey.empty()) out << ", announcing the key " << in.release.nextKey;
    }
    out << std::endl;
    return 0;
}

int MakeKeys(const fs::path& keyFile, std::ostream& out, std::ostream& err) {
    const fs::path publicFile = fs::path(keyFile).concat(".pub");
    std::error_code ec;
    for (const auto& f : {keyFile, publicFile})
        if (fs::exists(f, ec)) {
            err << "tarvos-publish: " << PathToUtf8(f)
                << " exists; a new key would lock out every launcher built with the old one, so it is not "
                   "replaced\n";
            return 1;
        }
    const ListKeyPair pair = MakeListKeyPair();
    const std::string publicKey = ListKeyText(pair.publicKey);
    WriteOwnerOnlyFile(keyFile, SecretKeyText(pair.secretKey) + "\n");
    std::ofstream(publicFile, std::ios::binary) << publicKey << "\n";
    out << "secret key: " << PathToUtf8(keyFile) << " (keep it off the update server)\n"
        << "public key: " << publicKey << "\n"
        << "in the launcher's configuration text:\n"
        << "  [updateservers]\n"
        << "  publickey=" << publicKey << "\n";
    return 0;
}

}  // namespace tarvos::publish
