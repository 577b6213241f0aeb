#include "ui/console/ConsoleWindows.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <nlohmann/json.hpp>

#include "config/IntegerReading.hpp"
#include "launcher/UserSettings.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Shell.hpp"
#include "platform/SingleInstance.hpp"
#include "platform/SystemLanguage.hpp"
#include "platform/Text.hpp"
#include "transfer/RateLimiter.hpp"

namespace tarvos {

namespace {

std::string Mebibytes(int64_t bytes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return buf;
}

// "0:07", "12:30", "1:02:03"
std::string Clock(double seconds) {
    const auto s = static_cast<long long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
    return buf;
}

// A settings key as the user may write it: the widget's name in any letter case, or the
// name without its kind ("Box_DriveType", "drivetype").
std::string SettingKey(const std::string& key) {
    std::string k = LowerUser(TrimText(key));
    for (const char* prefix : {"box_", "check_"})
        if (k.rfind(prefix, 0) == 0) k = k.substr(std::string(prefix).size());
    if (k == "checkmode") k = "checktype";
    if (k == "selproxy") k = "proxy";
    return k;
}

bool KnownSettingKey(const std::string& k) {
    return k == "drivetype" || k == "checktype" || k == "proxy" || k == "autoclose" || k == "language";
}

// Selects the item named by value (its text in any letter case, or its 0-based position).
bool SelectItem(TComboBox& box, const std::string& value) {
    const std::string wanted = LowerUser(TrimText(value));
    for (size_t i = 0; i < box.Items.size(); ++i) {
        if (LowerUser(TrimText(box.Items[i])) == wanted) {
            box.ItemIndex = static_cast<int>(i);
            return true;
        }
    }
    if (!wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos && wanted.size() < 6) {
        const int at = std::atoi(wanted.c_str());
        if (at < static_cast<int>(box.Items.size())) {
            box.ItemIndex = at;
            return true;
        }
    }
    return false;
}

std::string ItemList(const TComboBox& box) {
    std::string out;
    for (const auto& item : box.Items) out += (out.empty() ? "" : ", ") + ("\"" + item + "\"");
    return out;
}

}  // namespace

// The --json output: one object per line, each with the seconds since the start first. Lines
// come from the main thread and, on a second Ctrl-C, from the thread that waits for stop
// requests: one writes at a time, and nothing follows the end line.
class JsonEvents {
public:
    using Fields = nlohmann::ordered_json;

    explicit JsonEvents(std::ostream& out) : out_(out) {}

    // Text that may not be valid UTF-8 (a list name is bytes from the server): such text is
    // written with the replacement character and, beside it, as "<key>_hex" with its bytes, so
    // that a script can still tell two such names apart.
    static void Put(Fields& fields, const std::string& key, const std::string& text) {
        fields[key] = text;
        if (!ValidUtf8(text)) fields[key + "_hex"] = Hex(text);
    }
    static void Put(Fields& fields, const std::string& key, const std::vector<std::string>& texts) {
        fields[key] = texts;
        if (std::all_of(texts.begin(), texts.end(), ValidUtf8)) return;
        Fields hex = Fields::array();
        for (const auto& text : texts) hex.push_back(Hex(text));
        fields[key + "_hex"] = hex;
    }

    void Write(const Fields& fields) {
        std::lock_guard<std::mutex> hold(lock_);
        if (ended_) return;
        Fields line;
        line["t"] = std::round(std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count() * 1000) / 1000;
        line.update(fields);
        if (fields.value("event", "") == "end") ended_ = true;
        out_ << line.dump(-1, ' ', false, Fields::error_handler_t::replace) << "\n" << std::flush;
    }

private:
    static bool ValidUtf8(const std::string& text) {
        try {
            (void)Fields(text).dump();
            return true;
        } catch (const Fields::type_error&) {
            return false;
        }
    }
    static std::string Hex(const std::string& bytes) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string out;
        for (const unsigned char c : bytes) out += {kDigits[c >> 4], kDigits[c & 15]};
        return out;
    }

    std::ostream& out_;
    std::mutex lock_;
    bool ended_ = false;
    const std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
};

ConsoleOptions ParseConsoleOptions(const std::vector<std::string>& args) {
    ConsoleOptions o;
    // The first argument belongs to the launcher ("-debug", "filemode=DIR") unless it is
    // one of the console's own options.
    size_t i = !args.empty() && args[0].rfind("--", 0) != 0 ? 1 : 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--start-game") {
            o.startGame = true;
        } else if (a == "--check-all") {
            o.checkAll = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--limit-rate" || a.rfind("--limit-rate=", 0) == 0) {
            if (a == "--limit-rate" && i + 1 >= args.size()) {
                o.error = "--limit-rate needs RATE";
                return o;
            }
            const std::string value = a == "--limit-rate" ? args[++i] : a.substr(13);
            const auto rate = ParseRate(value);
            if (!rate) {
                o.error = "--limit-rate " + value +
                          ": bytes per second, with k or M after the number, at least 1k (0 lifts the cap)";
                return o;
            }
            o.limitRate = *rate;
        } else if (a == "--transfers") {
            const auto n = i + 1 < args.size() ? ReadInteger(args[i + 1]) : std::nullopt;
            if (!n || *n < 1 || *n > kMaxTransfers) {
                o.error = "--transfers needs a number from 1 to " + std::to_string(kMaxTransfers);
                return o;
            }
            ++i;
            o.transfers = static_cast<int32_t>(*n);
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--settings" || a.rfind("--settings=", 0) == 0) {
            std::string choice;
            if (a == "--settings") {
                if (i + 1 >= args.size()) {
                    o.error = "--settings needs KEY=VALUE";
                    return o;
                }
                choice = args[++i];
            } else {
                choice = a.substr(11);
            }
            const auto eq = choice.find('=');
            const std::string key =
                eq == std::string::npos ? std::string() : SettingKey(choice.substr(0, eq));
            if (!KnownSettingKey(key)) {
                o.error = "--settings " + choice +
                          ": the key is one of DriveType, CheckType, Proxy, AutoClose, Language";
                return o;
            }
            o.settings.emplace_back(key, choice.substr(eq + 1));
        } else {
            o.error = "unknown option " + a;
            return o;
        }
    }
    return o;
}

std::string ConsoleUsage() {
    return "usage: tarvos-cli [-debug | filemode=DIR] [--settings KEY=VALUE]... [--check-all] [--start-game] "
           "[--limit-rate RATE] [--transfers N] [--quiet] [--json]\n"
           "\n"
           "Brings the game folder beside tarvos-cli up to date from the update servers its\n"
           "configuration package names, then probes the game proxies.\n"
           "  -debug               write the debug log \"log.err\" to the current folder\n"
           "  filemode=DIR         take the packed files from DIR instead of a server\n"
           "  --settings KEY=VALUE change a setting as the settings window does (saved at exit):\n"
           "                       DriveType=HDD|SSD, CheckType=Hard|Medium|Light item text or\n"
           "                       0..2, Proxy=Auto|NAME, AutoClose=true|false, Language=NAME\n"
           "  --check-all          then check every listed file and repair what differs\n"
           "  --limit-rate RATE    cap all downloads together at RATE bytes per second (k, M:\n"
           "                       KiB, MiB; at least 1k; 0 lifts the cap); saved, and taken\n"
           "                       over at once by a launcher that is updating this game folder\n"
           "  --transfers N        files and pieces fetched at once in a repair (1..64,\n"
           "                       default 16); saved\n"
           "  --start-game         then press the start button (otherwise exit when ready)\n"
           "  --quiet              print nothing but errors\n"
           "  --json               print one JSON object per line: every status change, progress\n"
           "                       at most 4 times a second, and the final status\n"
           "\n"
           "Exit status: 0 the game folder is up to date (or another copy is running or\n"
           "updating it), "
           "1 error (also: an unusable work folder, an unsaved list of installed files),\n"
           "2 bad option or setting, 3 files could not be repaired,\n"
           "4 no update server answered (or it gave no file list),\n"
           "5 no configuration in the launcher, 130 interrupted.\n";
}

TModalResult ConsoleSettingsView::ShowModal(TForm&) {
    if (!window) return TModalResult::Cancel;
    TFSettings& w = *window;
    for (const auto& [key, value] : choices) {
        TControl* control = key == "drivetype"   ? static_cast<TControl*>(&w.Box_DriveType)
                            : key == "checktype" ? static_cast<TControl*>(&w.Box_CheckType)
                            : key == "proxy"     ? static_cast<TControl*>(&w.Box_Proxy)
                            : key == "language"  ? static_cast<TControl*>(&w.Box_Language)
                                                 : static_cast<TControl*>(&w.Check_Autoclose);
        if (!control->Enabled) {
            errors.push_back(key + ": the configuration does not let the user change it");
            continue;
        }
        if (key == "autoclose") {
            const std::string v = LowerUser(TrimText(value));
            if (v != "true" && v != "false" && v != "1" && v != "0") {
                errors.push_back("autoclose=" + value + ": true or false");
                continue;
            }
            w.Check_Autoclose.Checked = v == "true" || v == "1";
            continue;
        }
        auto& box = static_cast<TComboBox&>(*control);
        if (!SelectItem(box, value)) {
            errors.push_back(key + "=" + value + ": not one of " + ItemList(box));
            continue;
        }
        if (box.OnChange) box.OnChange();
    }
    return TModalResult::Ok;
}

ConsoleWindows::ConsoleWindows(std::ostream& out, ConsoleOptions options, bool terminal)
    : options_(std::move(options)), view_(out, terminal && !options_.json, options_.quiet) {
    if (!options_.json) return;
    json_ = std::make_unique<JsonEvents>(out);
    view_.OnLine = [this](const std::string& kind, const std::string& text) {
        JsonEvents::Fields fields{{"event", kind}};
        JsonEvents::Put(fields, "text", text);
        json_->Write(fields);
    };
}

void ConsoleWindows::OnRunEvent(const TRunEvent& e) {
    if (!json_) {
        if (e.kind == TRunEvent::Kind::Phase) {
            view_.Note(e.phase == "checking" ? "Checking " + std::to_string(e.files) + " files"
                                             : "Downloading " + std::to_string(e.files) + " files, " +
                                                   Mebibytes(e.total) + " MiB");
        } else if (e.kind == TRunEvent::Kind::Progress) {
            view_.SetProgressText(Mebibytes(e.done) + "/" + Mebibytes(e.total) + " MiB  " + Mebibytes(static_cast<int64_t>(e.rate)) +
                                  " MiB/s  " + (e.eta >= 0 ? Clock(e.eta) + " left" : std::string("--:-- left")));
        } else if (e.phase == "unpacking") {
            view_.Note("Unpacking " + e.file);
        }
        return;
    }
    JsonEvents::Fields fields{{"event", e.kind == TRunEvent::Kind::Phase  ? "phase"
                                        : e.kind == TRunEvent::Kind::File ? "file"
                                                                          : "progress"},
                              {"phase", e.phase}};
    if (e.kind == TRunEvent::Kind::Phase) {
        fields["files"] = e.files;
        if (e.phase == "downloading") fields["total"] = e.total;
    } else {
        JsonEvents::Put(fields, "file", e.file);
    }
    if (e.kind == TRunEvent::Kind::Progress) {
        // Scripts want a steady trickle, not every tick: at most four a second, but always
        // the one that completes the repair.
        const auto now = std::chrono::steady_clock::now();
        if (e.done < e.total && now - lastProgress_ < std::chrono::milliseconds(250)) return;
        lastProgress_ = now;
        fields["done"] = e.done;
        fields["total"] = e.total;
        fields["rate"] = std::llround(e.rate);
        fields["eta"] = e.eta >= 0 ? JsonEvents::Fields(std::round(e.eta * 10) / 10) : JsonEvents::Fields(nullptr);
        fields["inflight"] = e.inflight;
    }
    json_->Write(fields);
}

void ConsoleWindows::End(int code, const std::vector<std::string>& failed) {
    if (!json_) return;
    JsonEvents::Fields fields{{"event", "end"}, {"status", code}};
    JsonEvents::Put(fields, "failed", failed);
    json_->Write(fields);
}

ConsoleWindows::~ConsoleWindows() = default;

bool ConsoleWindows::ActivateOtherInstance(StartupState& state) {
    if (AcquireSingleInstance(state.instanceName)) return false;
    // The copy that runs follows its settings file while it downloads: a cap given here
    // reaches it through the file.
    if (options_.limitRate >= 0) {
        const std::string exe = ExecutablePath();
        const auto cut = exe.find_last_of("\\/");
        const std::string folder = cut == std::string::npos ? std::string() : exe.substr(0, cut);
        // Without a settings file the cap comes with the defaults, in the language a first
        // start would choose.
        TLanguageArray texts;
        state.config->SetLanguageArray(SystemLanguageId(), texts);
        if (WriteLimitRate(folder + "\\updater", options_.limitRate, state.config->LangName))
            view_.Note("Download cap handed to the launcher that is running.");
    }
    return true;
}

void ConsoleWindows::CreateWindows(StartupState& state) {
    EventLoop& loop = MainLoop();
    main_ = std::make_unique<TFMain>(view_, loop, LanguageTexts(), SystemShell(),
                                     state.debug ? state.debugFile.get() : nullptr);
    settings_ = std::make_unique<TFSettings>(TFSettings::Deps{
        *state.config, state.skin->ConfigWindow, main_->User, LanguageTexts(), settingsView_, loop});
    settingsView_.window = settings_.get();
    main_->Attach(*state.config, *state.skin, settings_.get());
    // Right before the launcher starts its replacement and ends: the replacement must not
    // find the name still held by this dying copy and end itself as a second copy.
    main_->OnSaveSettings = [this, name = state.instanceName] {
        main_->SaveIniFile();
        ReleaseSingleInstance(name);
    };
    // Without a configuration the window would end the process; the console reports it by
    // its status instead. Later ends (the launcher replacing itself) go ahead.
    main_->OnEndProcess = [this](int code) {
        if (!main_->_oneshot) {
            noConfig_ = true;
            return;
        }
        End(code, main_->FailedNames());
        EndProcessNow(code);
    };
    TFMain* main = main_.get();
    view_.OnNavigated = [main, &loop] { loop.Post([main] { main->WebBrowser1NavigateComplete2(); }); };
    main_->MainTimer.OnTimer([this] {
        main_->MainTimerTimer();
        runEnded_ = true;
    });
    main_->OnRunEvent = [this](const TRunEvent& e) { OnRunEvent(e); };
    // The window's pause lets it settle on screen before the run; a console has nothing to
    // show first, and a second per run is a second per script that calls it.
    main_->MainTimer.SetInterval(0);
    main_->FormCreate(state.args);
    if (options_.limitRate >= 0) main_->SetLimitRate(options_.limitRate);
    if (options_.transfers > 0) main_->User.Transfers = options_.transfers;
}

void ConsoleWindows::Interrupt() {
    // A second request while the first is being handled ends the program at once.
    if (interrupts_.fetch_add(1) > 0) {
        End(kExitInterrupted);
        EndProcessNow(kExitInterrupted);
    }
    MainLoop().Post([this] {
        if (main_) main_->Button_CloseClick();
        view_.Finish();
        End(kExitInterrupted, main_ ? main_->FailedNames() : std::vector<std::string>{});
        EndProcessNow(kExitInterrupted);
    });
}

// A list that could not be saved is an error of the run, before the files it names.
int ConsoleWindows::RunStatus(bool noList) const {
    if (main_->NoServer() || noList) return kExitNoServer;
    if (main_->ListSaveFailed()) return kExitError;
    return main_->FailedFiles() > 0 ? kExitNotRepaired : kExitUpToDate;
}

// The status texts are the skin's; the last line says in plain words what the run left
// behind, so a script or a player reading the end never takes a failure for success.
void ConsoleWindows::ReportEnding(int code) {
    if (code == kExitNoServer) {
        view_.Note(main_->NoServer() ? "No update server answered: the game folder was not checked."
                                     : "No usable file list came from the update server: the game folder was not checked.");
        if (!main_->ListRefusal().empty()) view_.Note("File list refused: " + main_->ListRefusal());
        return;
    }
    const auto& names = main_->FailedNames();
    if (!names.empty()) {
        std::string line = std::to_string(names.size()) + (names.size() == 1 ? " file" : " files") +
                           " could not be repaired:";
        for (const auto& name : names) line += " " + name;
        view_.Note(line);
    }
    if (main_->DiskFull())
        view_.Note("The disk " + main_->DiskFullVolume() + " is full: no room for " + main_->DiskFullName() +
                   ". Free some space and run again.");
    if (main_->ListSaveFailed()) view_.Note(main_->ListSaveFailedText());
}

int ConsoleWindows::Run() {
    if (!main_ || noConfig_) {
        End(kExitNoConfig);
        return kExitNoConfig;
    }
    EventLoop& loop = MainLoop();
    main_->FormShow();
    while (!runEnded_ && !loop.Terminated()) {
        // The first showing failed before it started the run: there is nothing to wait for.
        if (!main_->MainTimer.Enabled() && !runEnded_) break;
        loop.WaitAndProcess();
    }
    if (!runEnded_) {
        view_.Finish();
        const int code = loop.Terminated() ? kExitInterrupted : kExitError;
        End(code, main_->FailedNames());
        return code;
    }
    // When every probe fails the first server is used all the same; a run that got no file
    // list (or an empty one) from it found no server that serves the game.
    const bool noList = !main_->NoServer() && main_->NewFileList->Count() == 0;
    int code = RunStatus(noList);

    if (main_->Proxies && !main_->Proxies->ProxyLine.empty())
        view_.Note("Game proxy: " + main_->Proxies->ProxyLine);
    if (!options_.settings.empty() && !loop.Terminated()) {
        settingsView_.choices = options_.settings;
        main_->Button_ConfigClick();
        for (const auto& e : settingsView_.errors) view_.ShowMessage("--settings " + e);
    }
    bool fullCheckNeedsServer = false;
    if (options_.checkAll && !loop.Terminated()) {
        if (view_.Visible(MainButton::Button_CheckAllFiles) &&
            view_.Enabled(MainButton::Button_CheckAllFiles)) {
            main_->Button_CheckAllFilesClick();
            code = RunStatus(noList);
        } else {
            fullCheckNeedsServer = true;
        }
    }
    if (!settingsView_.errors.empty()) code = kExitUsage;
    if (options_.startGame && !loop.Terminated() && view_.Enabled(MainButton::Button_StartGame)) {
        view_.Note("Starting the game.");
        main_->Button_StartGameClick();
    }
    // Whatever came before, the last line says how the run ended.
    if (fullCheckNeedsServer) view_.Note("The full check needs an update server.");
    ReportEnding(code);
    if (!loop.Terminated()) main_->Button_CloseClick();
    view_.Finish();
    End(code, main_->FailedNames());
    return code;
}

}  // namespace tarvos
