#pragma once
// The two check boxes under the folder picker's status line: compare every
// picture whatever its size, and include subfolders. With both off the search
// is the neighbour search of the first design; with either on, the window
// searches with the whole-folder search. Kept in the settings file.

class SettingsStore;

struct SearchChoices {
    bool everyPicture = false;
    bool subfolders = false;

    bool wholeFolder() const { return everyPicture || subfolders; }

    // Section "Search", keys "EveryPicture" and "Subfolders", "1" or "0"; off
    // when missing.
    static SearchChoices load(const SettingsStore& settings);
    void save(SettingsStore& settings) const;
};
