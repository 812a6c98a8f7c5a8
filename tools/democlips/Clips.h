#pragma once
// The demonstration set: each clip is a setting and a short score.

#include "Score.h"

#include <vector>

namespace democlips {

struct Clip {
    Setting setting;
    void (*compose)(Score&);
};

// Clip n (from 1) is element n - 1.
const std::vector<Clip>& clips();

} // namespace democlips
