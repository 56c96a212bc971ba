#pragma once

// The library's failure reports. An exception carries no data: its type is the whole
// report, and whoever catches it chooses the words for the user.

namespace orvane {

class Exception {
public:
    Exception() = default;
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;
    virtual ~Exception();
};

#define ORVANE_EXCEPTION(Name, Base)                 \
    class Name : public Base {                       \
    public:                                          \
        Name() = default;                            \
        Name(const Name&) = default;                 \
        Name& operator=(const Name&) = default;      \
        ~Name() override;                            \
    }

ORVANE_EXCEPTION(MemoryException, Exception);
ORVANE_EXCEPTION(ThreadStopException, Exception);
ORVANE_EXCEPTION(ThreadCreateException, Exception);

ORVANE_EXCEPTION(SocketException, Exception);
ORVANE_EXCEPTION(TimeoutException, SocketException);
ORVANE_EXCEPTION(NoRouteToHostException, SocketException);
ORVANE_EXCEPTION(NoConnectionException, SocketException);
ORVANE_EXCEPTION(BindException, SocketException);
ORVANE_EXCEPTION(ConnectException, SocketException);
ORVANE_EXCEPTION(UnknownHostException, SocketException);

ORVANE_EXCEPTION(FileException, Exception);
ORVANE_EXCEPTION(FileCantOpenException, FileException);
ORVANE_EXCEPTION(FileCantCreateException, FileException);
ORVANE_EXCEPTION(FileCantReadException, FileException);
ORVANE_EXCEPTION(FileCantWriteException, FileException);
ORVANE_EXCEPTION(FileCantCloseException, FileException);

ORVANE_EXCEPTION(DLLException, Exception);
ORVANE_EXCEPTION(IOException, Exception);

ORVANE_EXCEPTION(HttpException, Exception);
ORVANE_EXCEPTION(CloseChannelException, Exception);

} // namespace orvane

// Defines the out-of-line destructor that anchors an exception class's type information.
#define ORVANE_EXCEPTION_IMPL(Name) Name::~Name() = default
