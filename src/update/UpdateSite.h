#pragma once
// Where Corvane looks for newer versions. The maker's site lives here and
// nowhere else; tests point the check at a local server through the
// environment variable CORVANE_SITE (see VersionCheck::site()).

inline constexpr char kMakerSite[] = "http://www.corvane-tools.example";

// Path of the page that announces the published version.
inline constexpr char kVersionPagePath[] = "/";

// Path of the page that offers the download.
inline constexpr char kDownloadPagePath[] = "/_mgxroot/page_10736.html";
