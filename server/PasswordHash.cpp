#include "server/PasswordHash.h"

#include <atomic>
#include <crypt.h>
#include <cstring>
#include <memory>

namespace orvane {

namespace {

constexpr const char* Method = "$y$";

// Compares without stopping at the first difference, so the time taken tells nothing
// about how much of a guess was right.
bool sameText(const char* a, const char* b)
{
    const size_t na = std::strlen(a);
    const size_t nb = std::strlen(b);
    unsigned char diff = na == nb ? 0 : 1;
    const size_t n = na < nb ? na : nb;
    for (size_t i = 0; i < n; ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::atomic<int> hashesNow{0};
std::atomic<int> hashesPeak{0};
std::atomic<long> hashesTotal{0};

// crypt_r with its working memory, counted while it runs.
const char* countedCrypt(const char* password, const char* setting, crypt_data& data)
{
    const int now = hashesNow.fetch_add(1) + 1;
    hashesTotal.fetch_add(1);
    int peak = hashesPeak.load();
    while (now > peak && !hashesPeak.compare_exchange_weak(peak, now)) {
    }
    const char* hashed = crypt_r(password ? password : "", setting, &data);
    hashesNow.fetch_sub(1);
    return hashed;
}

} // namespace

PasswordHashLoad passwordHashLoad()
{
    PasswordHashLoad load;
    load.now = hashesNow.load();
    load.peak = hashesPeak.load();
    load.total = hashesTotal.load();
    return load;
}

void resetPasswordHashPeak()
{
    hashesPeak.store(hashesNow.load());
}

String hashPassword(const char* password, int cost)
{
    if (cost < 1)
        cost = 1;
    if (cost > 11)
        cost = 11;
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    // NULL random bytes: the library takes them from the system's random source.
    if (!crypt_gensalt_rn(Method, static_cast<unsigned long>(cost), nullptr, 0, setting, sizeof setting))
        return String();
    std::unique_ptr<crypt_data> data(new crypt_data());
    const char* hashed = countedCrypt(password, setting, *data);
    // Failures answer NULL or a text beginning with '*', which no check may ever match.
    if (!hashed || hashed[0] != '$')
        return String();
    return String(hashed);
}

bool verifyPassword(const char* password, const char* storedHash)
{
    if (!storedHash || storedHash[0] != '$')
        return false;
    std::unique_ptr<crypt_data> data(new crypt_data());
    const char* hashed = countedCrypt(password, storedHash, *data);
    if (!hashed || hashed[0] != '$')
        return false;
    return sameText(hashed, storedHash);
}

} // namespace orvane
