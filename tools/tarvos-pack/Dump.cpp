#include "Dump.hpp"

#include "inventory/ListSignature.hpp"
#include "config/IntegerReading.hpp"
#include "config/TarvosUpdateConfig.hpp"
#include "config/uConfigData.hpp"
#include "platform/Error.hpp"

namespace tarvos::pack {

namespace {

std::string Size(const Bitmap& b) { return b.Empty() ? "-" : std::to_string(b.width) + "x" + std::to_string(b.height); }
const char* YesNo(bool v) { return v ? "yes" : "no"; }

void DumpParameters(const TtucElement& e, std::ostream& out) {
    for (const auto& line : e.parameters) out << "      " << line << "\n";
}

void DumpElement(const TtucElementRef& ref, std::ostream& out) {
    out << "  " << static_cast<int>(ref.id) << " " << ref.name << ":";
    if (auto* bg = std::get_if<TtucBackGround*>(&ref.element)) {
        auto rects = (*bg)->GetRegion();
        const std::string outline = rects                      ? std::to_string(rects->size()) + " rectangles"
                                    : (*bg)->region.empty() ? std::string("none")
                                                            : std::string("none (WARNING: invalid region data)");
        out << " image " << Size((*bg)->image) << ", outline " << outline << "\n";
    } else if (auto* b = std::get_if<TtucButton*>(&ref.element)) {
        out << " common " << Size((*b)->common) << ", over " << Size((*b)->over) << ", disabled " << Size((*b)->disabled)
            << ", down " << Size((*b)->down) << ", up " << Size((*b)->up) << ", script " << (*b)->btn_script.size()
            << " lines\n";
        DumpParameters(**b, out);
    } else if (auto* g = std::get_if<TtucGauge*>(&ref.element)) {
        out << " fore texture " << Size((*g)->FTex) << ", back texture " << Size((*g)->BTex) << "\n";
        DumpParameters(**g, out);
    } else {
        auto* p = std::get<TtucParamElement*>(ref.element);
        out << (p->parameters.empty() ? " (no parameters)\n" : "\n");
        DumpParameters(*p, out);
    }
}

bool DumpWindow(TtucWindow& window, const char* title, SkinReader& reader, std::ostream& out) {
    size_t start = reader.Position();
    out << title << " section at byte " << start;
    try {
        SkinReader peek = reader;
        std::int32_t version = peek.Int32();
        window.LoadFromStream(reader);
        out << ", " << reader.Position() - start << " bytes, version " << version;
        if (version != window.Version()) out << " (expected " << window.Version() << ": nothing of it is read)";
        out << "\n";
    } catch (const TarvosError& error) {
        out << "\n  DAMAGED: " << error.what() << "\n";
        return false;
    }
    for (const auto& ref : window.Elements()) DumpElement(ref, out);
    return true;
}

void DumpLanguages(tConfigData& c, std::ostream& out) {
    out << "languages: " << c.LanguageCollection.List.size() << "\n";
    c.Config.UserCan_ChangeLanguage = true;  // so each language is applied by its own id
    for (const auto& entry : c.LanguageCollection.List) {
        TLanguageArray texts;
        c.SetLanguageArray(ReadInteger32(entry.text), texts);
        out << "  [" << entry.text << "] " << entry.object->Item << "\n";
        for (size_t slot = 0; slot < texts.size(); ++slot)
            if (!texts[slot].empty()) out << "    " << slot << " = " << texts[slot] << "\n";
    }
}

void DumpConfig(std::string_view text, std::ostream& out) {
    tConfigData c;
    bool any = c.ParseConfig(text);
    out << "configuration text: " << text.size() << " bytes" << (any ? "" : " (empty)") << "\n";
    out << "  instance: \"" << c.Config.Instance << "\", tray hint: \"" << c.Config.TrayHint << "\"\n";
    out << "  default language: \"" << c.Config.DefaultLanguage << "\", language folders: \"" << c.Config.LangFolder << "\"\n";
    if (!c.Config.OwnedFiles.empty()) out << "  player's files (installed once, never replaced): \"" << c.Config.OwnedFiles << "\"\n";
    out << "  user can change: language " << YesNo(c.Config.UserCan_ChangeLanguage) << ", auto-close "
        << YesNo(c.Config.UserCan_ChangeAutoClose) << ", proxy " << YesNo(c.Config.UserCan_ChangeProxy) << ", drive type "
        << YesNo(c.Config.UserCan_ChangeDriveType) << ", check method " << YesNo(c.Config.UserCan_ChangeCheckMethod)
        << "; default auto-close " << YesNo(c.Config.DefaultAutoClose) << "\n";
    out << "  main window: caption \"" << c.MainWindow.Caption << "\", fade " << YesNo(c.MainWindow.FadeEffect)
        << "; settings window: fade " << YesNo(c.SettingsWindow.FadeEffect) << "\n";
    out << "  update servers (ping " << YesNo(c.UpdateServers.UsePing) << ", random "
        << YesNo(c.UpdateServers.RandomSelect) << "): " << c.UpdateServers.Servers.size() << "\n";
    for (const auto& s : c.UpdateServers.Servers) out << "    " << s << "\n";
    if (c.UpdateServers.PublicKey.empty())
        out << "  file list: taken unsigned (no publickey)\n";
    else
        out << "  file list: signed, public key " << c.UpdateServers.PublicKey
            << (ParseListKey(c.UpdateServers.PublicKey) ? "" : " (NOT 64 hexadecimal digits: every list is refused)")
            << "\n";
    out << "  game proxies (use " << YesNo(c.ProxyServers.UseProxy) << ", port " << c.ProxyServers.Port
        << "): " << c.ProxyServers.Servers.size() << "\n";
    for (const auto& s : c.ProxyServers.Servers) out << "    " << s << "\n";
    DumpLanguages(c, out);
}

}  // namespace

bool DumpPackage(std::span<const std::uint8_t> package, std::ostream& out) {
    out << "package: " << package.size() << " bytes\n";
    SkinReader reader(package);
    TtucConfig skin;
    if (!DumpWindow(skin.MainWindow, "main window", reader, out)) return false;
    if (!DumpWindow(skin.ConfigWindow, "settings window", reader, out)) return false;
    auto rest = reader.Take(reader.Remaining());
    DumpConfig(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()), out);
    return true;
}

}  // namespace tarvos::pack
