#pragma once
// The three check boxes under the folder picker's status line: compare every
// picture whatever its size, include subfolders, and also find the same photo
// saved differently. With all off the search is the neighbour search of the
// first design; with any on, the window searches with the whole-folder search.
// Kept in the settings file.

class SettingsStore;

struct SearchChoices {
    bool everyPicture = false;
    bool subfolders = false;
    bool samePhoto = false;

    bool wholeFolder() const { return everyPicture || subfolders || samePhoto; }

    // Section "Search", keys "EveryPicture", "Subfolders" and "SamePhoto", "1"
    // or "0"; off when missing.
    static SearchChoices load(const SettingsStore& settings);
    void save(SettingsStore& settings) const;
};
