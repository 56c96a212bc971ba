#pragma once

// The contract between the main program and the module libraries it loads.
//
// Both sides are built separately, so the order of the virtual operations in each
// interface below IS the binary contract: every operation keeps its place, the unused
// ones included, and nothing may be inserted, removed or reordered. New operations can
// only ever be appended, and only together with a new interface version.
//
// Every text that crosses is an 8-bit, zero-terminated string. A text a module returns
// stays the module's and must remain valid while the module exists; a text passed to a
// module is valid only during the call, so the module copies what it keeps.
//
// Module libraries are built with hidden visibility; the interfaces carry default
// visibility so that their type information (the exception below in particular) is the
// same on both sides of the boundary.

#include <cstdint>

#define ORVANE_MODULE_API __attribute__((visibility("default")))

namespace orvane {

class StringArray;

// Handles of the user interface that pass through the core unread: the user-interface
// layer decides what they point to (a bitmap, a window, a drawing context, a brush, one
// message of the user-interface loop).
using BitmapHandle = void*;
using WindowHandle = void*;
using DeviceContextHandle = void*;
using BrushHandle = void*;
using UiMessage = void;
// A colour as 0x00BBGGRR.
using ColorRef = uint32_t;

class IModule;
class IModuleHost;
class IModuleConnection;
class IContact;
class ISkin;

// A contact, or the signed-in user, as modules see it. The records belong to the main
// program; every one of them is destroyed when a new sign-in begins and at exit, so a
// module forgets the contacts it holds in IModule::onSignedOut.
class ORVANE_MODULE_API IContact {
public:
    virtual ~IContact() {}
    virtual bool isOnline() = 0;
    // The decimal 64-bit user id.
    virtual const char* getId() = 0;
    virtual const char* getDisplayName() = 0;
    virtual const char* getUserName() = 0;
    virtual const char* getFirstName() = 0;
    virtual const char* getLastName() = 0;
    virtual const char* getAuxText() = 0;
};

// The colour scheme, so that a module's windows match the main program's.
class ORVANE_MODULE_API ISkin {
public:
    virtual ~ISkin() {}
    virtual void paintBackground(WindowHandle window, DeviceContextHandle dc) = 0;
    virtual void paintBackgroundLight(WindowHandle window, DeviceContextHandle dc) = 0;
    virtual ColorRef menuSelectionColor() = 0;
    virtual ColorRef menuBarColor() = 0;
    virtual ColorRef textColor() = 0;
    virtual ColorRef captionTextColor() = 0;
    virtual ColorRef backgroundColor() = 0;
    virtual ColorRef backgroundColorLight() = 0;
    virtual BrushHandle backgroundBrush() = 0;
    virtual ColorRef progressBarBackColor() = 0;
    virtual ColorRef progressBarColor() = 0;
};

// A byte channel to one peer. The main program creates it; from the hand-over on it
// belongs to the module until the module calls close, which ends the channel and
// destroys the object. There is deliberately no virtual destructor: close is the only
// way to end one. One thread of the module uses a channel at a time.
class ORVANE_MODULE_API IModuleConnection {
public:
    // A broken TCP channel, raised by send and receive. It stands outside the program's
    // Exception family and carries nothing.
    class ORVANE_MODULE_API ConnectionException {};

    // One frame or datagram; NULL data or length 0 sends nothing.
    virtual void send(const void* data, int length) = 0;
    // Waits up to timeoutMs (negative: no limit) for the next frame and answers its
    // length; 0 when none came in time; -1 on a closed UDP channel.
    virtual int receive(int timeoutMs) = 0;
    // The bytes of the last received frame, valid until the next receive or close.
    virtual const uint8_t* data() = 0;
    virtual int size() = 0;
    virtual void close() = 0;

protected:
    // Only close destroys a channel.
    ~IModuleConnection() {}
};

// The main program as one module sees it; it lives as long as the module. Sending only
// queues frames and may be called from any thread; the two open operations block until
// the negotiation with the peer ends and must be called from the module's own threads.
// Everything a module sends is tagged with its module id.
class ORVANE_MODULE_API IModuleHost {
public:
    virtual ~IModuleHost() {}
    virtual void setStatusText(const char* text) = 0;
    virtual void restoreStatusText() = 0;
    virtual ISkin* getSkin() = 0;
    virtual IContact* getOwnUser() = 0;
    virtual int getModuleCount() = 0;
    // The module with that id, or NULL.
    virtual IModule* getModule(const char* id) = 0;
    virtual IModule* getModuleAt(int index) = 0;
    virtual int getContactCount() = 0;
    // The record with that id; an id not in the list gets a new record.
    virtual IContact* getContact(const char* userId) = 0;
    virtual IContact* getContactAt(int index) = 0;
    virtual void sendToUsers(StringArray* userIds, const char* data) = 0;
    virtual void send(const char* userId, const char* data) = 0;
    virtual void sendSessionToUsers(const char* sessionId, StringArray* userIds, const char* data,
                                    bool canBeOffline) = 0;
    virtual void sendSession(const char* sessionId, const char* userId, const char* data,
                             bool canBeOffline) = 0;
    // A new channel owned by the caller, or NULL when every way to the peer failed.
    virtual IModuleConnection* openTcpConnection(const char* userId) = 0;
    virtual IModuleConnection* openUdpConnection(const char* userId) = 0;
    virtual void playSound(const char* path) = 0;
    // A click on the notice ends in this module's IModule::showWindow (window).
    virtual void showNotification(const char* text, WindowHandle window) = 0;
};

// One module. Every operation is called on the user-interface thread; onMessage,
// onSessionMessage and onIncomingConnection run while the application lock is held, so a
// module must not wait there for another thread that needs that lock. The main program
// never destroys a module object.
class ORVANE_MODULE_API IModule {
public:
    virtual ~IModule() {}
    virtual const char* interfaceVersion() = 0;
    // The result is ignored.
    virtual bool init(IModuleHost* host) = 0;
    virtual void shutdown() = 0;
    // The module_id of every message the module sends and receives.
    virtual const char* getId() = 0;
    virtual const char* getName() = 0;
    virtual const char* getVersion() = 0;
    // The Actions menu item and action-bar caption; NULL or "" gives no menu item.
    virtual const char* getDisplayName() = 0;
    // A module with a bitmap gets an action-bar button.
    virtual BitmapHandle getBitmap() = 0;
    virtual const char* getDescription() = 0;
    virtual int getValue() = 0;
    virtual void reserved11(void* argument) = 0;
    virtual const char* reserved12() = 0;
    virtual void onSignedIn() = 0;
    virtual void onSignedOut() = 0;
    virtual void onContactStatusChanged(IContact* contact) = 0;
    virtual bool canActOn(IContact* contact) = 0;
    virtual void actOn(IContact* contact) = 0;
    // The module takes ownership of the connection; one it does not want it closes at once.
    virtual void onIncomingConnection(IContact* contact, IModuleConnection* connection) = 0;
    virtual void onSessionMessage(IContact* sender, const char* data, int timestamp,
                                  const char* sessionId) = 0;
    virtual void onMessage(IContact* sender, const char* data) = 0;
    virtual void reserved21(void* first, void* second, void* third) = 0;
    virtual void onContactAdded(IContact* contact) = 0;
    virtual void onContactRemoved(IContact* contact) = 0;
    virtual void onUiCallback(intptr_t argument) = 0;
    // True consumes the message.
    virtual bool preTranslateMessage(UiMessage* message) = 0;
    virtual void showWindow(WindowHandle window) = 0;
};

} // namespace orvane

// The one export of every module library: a new module object, or NULL.
extern "C" ORVANE_MODULE_API orvane::IModule* createModule();

// The exported name, for the loader's look-up.
#define ORVANE_CREATE_MODULE_SYMBOL "createModule"
