#include <cstdint>
#include <string_view>

#include "config/uConfigData.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    tarvos::tConfigData config;
    config.ParseConfig(std::string_view(reinterpret_cast<const char*>(data), size));
    tarvos::TLanguageArray texts;
    for (bool userCan : {false, true}) {
        config.Config.UserCan_ChangeLanguage = userCan;
        for (const auto& language : config.LanguageCollection.List) {
            config.SetLanguageArray(config.GetLanguageIdByName(language.object->Item), texts);
        }
    }
    return 0;
}
