// The texts of one side of a search, as views the search reads without the interpreter: one
// per item, with a flag for the items that are missing (their cells get no score). No Python.
#pragma once

#include <cstdint>
#include <span>

#include "../text.hpp"

namespace qx::search {

struct TextColumn {
    std::span<const Text> texts;
    std::span<const uint8_t> present;

    size_t size() const { return texts.size(); }
};

}  // namespace qx::search
