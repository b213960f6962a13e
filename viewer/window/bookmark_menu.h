// The "Bookmarks" menu: Ctrl+D marks the view's place in the loaded file under a name the user
// types; the menu lists that file's marks to go to, rename or delete. The marks live in the own
// settings file, keyed by the file's path, size and modification time.
#pragma once

// The drop-down made again for the file now loaded; after every load and every change.
void buildBookmarkMenu();

// "Add bookmark...": asks a name (proposing the first byte in $hex, the mode and the width) and
// keeps the current place under it.
void addBookmarkCommand();

// Going to, renaming or deleting one of the listed bookmarks; false for any other command.
// Going there is a jump that Back returns from.
bool bookmarkCommand(int command);
