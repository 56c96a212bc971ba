#include "foundation/Exception.h"

#include <gtest/gtest.h>

#include <type_traits>

using namespace orvane;

// Which handler catches what is part of every caller's contract.
TEST(Exception, Hierarchy)
{
    static_assert(std::is_base_of_v<Exception, MemoryException>);
    static_assert(std::is_base_of_v<Exception, ThreadStopException>);
    static_assert(std::is_base_of_v<Exception, ThreadCreateException>);
    static_assert(std::is_base_of_v<SocketException, TimeoutException>);
    static_assert(std::is_base_of_v<SocketException, NoRouteToHostException>);
    static_assert(std::is_base_of_v<SocketException, NoConnectionException>);
    static_assert(std::is_base_of_v<SocketException, BindException>);
    static_assert(std::is_base_of_v<SocketException, ConnectException>);
    static_assert(std::is_base_of_v<SocketException, UnknownHostException>);
    static_assert(std::is_base_of_v<FileException, FileCantOpenException>);
    static_assert(std::is_base_of_v<FileException, FileCantCreateException>);
    static_assert(std::is_base_of_v<FileException, FileCantReadException>);
    static_assert(std::is_base_of_v<FileException, FileCantWriteException>);
    static_assert(std::is_base_of_v<FileException, FileCantCloseException>);
    static_assert(std::is_base_of_v<Exception, DLLException>);
    static_assert(std::is_base_of_v<Exception, IOException>);
    static_assert(!std::is_base_of_v<SocketException, IOException>);
    static_assert(std::is_base_of_v<Exception, HttpException>);
    static_assert(std::is_base_of_v<Exception, CloseChannelException>);
    static_assert(std::is_empty_v<TimeoutException> || sizeof(TimeoutException) == sizeof(void*),
                  "exceptions carry no data");
}

TEST(Exception, CaughtByBase)
{
    auto caughtAsSocket = [] {
        try {
            throw TimeoutException();
        } catch (const SocketException&) {
            return true;
        } catch (...) {
            return false;
        }
    };
    EXPECT_TRUE(caughtAsSocket());
    auto caughtAsException = [] {
        try {
            throw FileCantReadException();
        } catch (const Exception&) {
            return true;
        } catch (...) {
            return false;
        }
    };
    EXPECT_TRUE(caughtAsException());
}
