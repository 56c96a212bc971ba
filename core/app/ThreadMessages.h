#pragma once

// The messages worker threads post to the user-interface thread, with the numbers the
// program has always used. The user interface's port carries them (UiThreadPort); the
// application handles its own and hands the windows' ones to the user interface.

namespace orvane {
namespace ThreadMessage {

// wParam: the IModule; lParam: its argument, for IModule::onUiCallback.
constexpr int ModuleCallback = 0x8000;
// Window message of the tray icon to the main frame.
constexpr int TrayNotify = 0x8001;
// The event queue has records to run.
constexpr int AppEvents = 0x8002;
// wParam: 1 signed in, 0 signed out; lParam: ConnectionThread::Reason.
constexpr int ConnectionState = 0x8003;
// wParam: 1 online, 0 offline; lParam: the contact's 64-bit user id. (A number rather
// than the record, so that a record deleted meanwhile is never touched.)
constexpr int ContactStatus = 0x8004;
constexpr int StatusText = 0x464;
constexpr int VoiceStarted = 0x465;
constexpr int VoiceEnded = 0x466;
constexpr int VoiceFailed = 0x467;
constexpr int VoiceLevelIn = 0x468;
constexpr int VoiceLevelOut = 0x469;
constexpr int LevelGraph = 0x46a;
// Window message of the sliding notice to the main frame.
constexpr int NotifierClick = 0x46b;
constexpr int RingStarted = 0x46c;
constexpr int ProgressText = 0x46d;
constexpr int UpdateAvailable = 0x46e;

} // namespace ThreadMessage
} // namespace orvane
