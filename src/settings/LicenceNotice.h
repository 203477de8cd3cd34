#pragma once

namespace varnel {

// What every program says of its licence (--version, the wizard's side panel).
inline constexpr const char* copyrightNotice = "Copyright (C) 2026 The Varnel developers";
inline constexpr const char* licenceNotice =
    "License GPL-3.0-or-later: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl-3.0.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.";

} // namespace varnel
