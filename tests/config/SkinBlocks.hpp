#pragma once
// Building skin-section bytes by hand: a text sub-block and a block body of sub-blocks.
#include <initializer_list>
#include <string_view>

#include "SkinWriter.hpp"

namespace tarvos::testing {

inline pack::Bytes Sub(std::string_view text) { return pack::Bytes(text.begin(), text.end()); }

inline pack::Bytes Body(std::initializer_list<pack::Bytes> subBlocks) {
    pack::Bytes body;
    for (const auto& s : subBlocks) pack::PutSized(body, s);
    return body;
}

}  // namespace tarvos::testing
