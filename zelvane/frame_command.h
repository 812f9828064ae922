// `zelvane frame`: one frame computed from files, without the link.
#pragma once

#include <string_view>
#include <vector>

int RunFrameCommand(const std::vector<std::string_view>& args);
