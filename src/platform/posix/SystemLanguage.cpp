#include "platform/SystemLanguage.hpp"

#include <cstdlib>
#include <cstring>
#include <string>

namespace tarvos {

namespace {

struct Language {
    const char* code;
    std::int32_t id;
};

// The primary languages by ISO 639-1 code, with the identifier of their main region.
constexpr Language kLanguages[] = {
    {"ar", 1025}, {"bg", 1026}, {"ca", 1027}, {"zh", 2052}, {"cs", 1029}, {"da", 1030}, {"de", 1031},
    {"el", 1032}, {"en", 1033}, {"es", 3082}, {"fi", 1035}, {"fr", 1036}, {"he", 1037}, {"hu", 1038},
    {"is", 1039}, {"it", 1040}, {"ja", 1041}, {"ko", 1042}, {"nl", 1043}, {"nb", 1044}, {"no", 1044},
    {"pl", 1045}, {"pt", 2070}, {"ro", 1048}, {"ru", 1049}, {"hr", 1050}, {"sk", 1051}, {"sq", 1052},
    {"sv", 1053}, {"th", 1054}, {"tr", 1055}, {"id", 1057}, {"uk", 1058}, {"be", 1059}, {"sl", 1060},
    {"et", 1061}, {"lv", 1062}, {"lt", 1063}, {"vi", 1066}, {"hy", 1067}, {"ka", 1079}, {"kk", 1087},
    {"sr", 3098},
};

}  // namespace

std::int32_t SystemLanguageId() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (!value || !*value) continue;
        std::string locale(value);
        if (locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0) return 1033;
        const std::string code = locale.substr(0, locale.find_first_of("_.@"));
        if (locale.rfind("pt_BR", 0) == 0) return 1046;
        if (locale.rfind("zh_TW", 0) == 0) return 1028;
        if (locale.rfind("en_GB", 0) == 0) return 2057;
        for (const auto& l : kLanguages)
            if (code == l.code) return l.id;
        return 1033;
    }
    return 1033;
}

}  // namespace tarvos
