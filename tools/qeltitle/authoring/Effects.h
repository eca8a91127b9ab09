// The effects the library offers, read through its enumeration operation.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qel/QEL_Title2.h"

namespace qeltitle {

struct EffectInfo {
    std::string pathId;
    std::string group;
    std::string name;  // display name; the display key when no string table names it
    std::string description;
};
// The effects offered at `level` (1 offers all of them), in catalogue order.
std::vector<EffectInfo> OfferedEffects(qel::ITitleHost& host, int level);
// Whether `level` offers any effect; if not, `error` names the levels that do ("1 (65 effects),
// 2 (26 effects)"). Leaves level 1 selected.
bool CheckEffectLevel(qel::ITitleHost& host, long level, std::string& error);
// Whether `name` is one of `offered`; if not, `error` says so, suggests the likely intended name
// (PATH_FADE for "fade") and points at 'qeltitle effects', which lists them.
bool CheckEffectName(const std::vector<EffectInfo>& offered, const std::string& name, std::string& error);
// "IDS_DSP_Ti_SlideUp_Name" -> "SlideUp"; any other text is returned as it is.
std::string DisplayKeyOf(std::string_view text);

}  // namespace qeltitle
