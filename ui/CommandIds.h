#pragma once

// The program's command ids, with their original numbers. wx refuses ids at or above 0x7FFF
// and keeps 4999 to 5999 for its own, so the numbers pass through one table on their way to
// and from wx: menus and buttons are made with toWxId, and a handler takes fromWxId of the
// id an event carries.

namespace orvane::command {

constexpr int OpenMainWindow = 32772;
// Entry k of the Actions menu is ModuleActionFirst + k; a double click in the tree is the first.
constexpr int ModuleActionFirst = 32773;
constexpr int ModuleActionLast = 32973;
constexpr int SignIn = 32974;
constexpr int SignOut = 32975;
constexpr int UploadPicture = 32976;
constexpr int AddContact = 32977;
constexpr int DeleteContact = 32978;
constexpr int ChangeDetails = 32980;
constexpr int SearchContact = 32981;
constexpr int SignInAs = 32982;
constexpr int Settings = 32983;
// The framework's own document and application commands.
constexpr int FileNew = 57600;
constexpr int FileOpen = 57601;
constexpr int FileSave = 57603;
constexpr int AppAbout = 57664;
constexpr int AppExit = 57665;

// 32772..32983 map to 2772..2983 and 57600..57665 to 7600..7665; every other id (control ids
// such as 4001 or 143) is its own wx id.
constexpr int toWxId(int id)
{
    if (id >= 32772 && id <= 32983)
        return id - 30000;
    if (id >= 57600 && id <= 57665)
        return id - 50000;
    return id;
}

constexpr int fromWxId(int wxId)
{
    if (wxId >= 2772 && wxId <= 2983)
        return wxId + 30000;
    if (wxId >= 7600 && wxId <= 7665)
        return wxId + 50000;
    return wxId;
}

} // namespace orvane::command
