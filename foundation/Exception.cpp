#include "foundation/Exception.h"

namespace orvane {

Exception::~Exception() = default;

ORVANE_EXCEPTION_IMPL(MemoryException);
ORVANE_EXCEPTION_IMPL(ThreadStopException);
ORVANE_EXCEPTION_IMPL(ThreadCreateException);
ORVANE_EXCEPTION_IMPL(SocketException);
ORVANE_EXCEPTION_IMPL(TimeoutException);
ORVANE_EXCEPTION_IMPL(NoRouteToHostException);
ORVANE_EXCEPTION_IMPL(NoConnectionException);
ORVANE_EXCEPTION_IMPL(BindException);
ORVANE_EXCEPTION_IMPL(ConnectException);
ORVANE_EXCEPTION_IMPL(UnknownHostException);
ORVANE_EXCEPTION_IMPL(FileException);
ORVANE_EXCEPTION_IMPL(FileCantOpenException);
ORVANE_EXCEPTION_IMPL(FileCantCreateException);
ORVANE_EXCEPTION_IMPL(FileCantReadException);
ORVANE_EXCEPTION_IMPL(FileCantWriteException);
ORVANE_EXCEPTION_IMPL(FileCantCloseException);
ORVANE_EXCEPTION_IMPL(DLLException);
ORVANE_EXCEPTION_IMPL(IOException);
ORVANE_EXCEPTION_IMPL(HttpException);
ORVANE_EXCEPTION_IMPL(CloseChannelException);

} // namespace orvane
