#pragma once

#include "foundation/String.h"

namespace orvane {

// Passwords are kept only as salted, deliberately slow hashes (yescrypt through the
// system's crypt library), in crypt's own text form, which carries the method, the cost
// and the salt. The sign-in form and the sign-in frame bring the password in plain text;
// the server checks it against the hash and forgets it.

// A new hash of the password with a fresh random salt; `cost` 1 to 11 (clamped). Empty
// when the system cannot make one.
String hashPassword(const char* password, int cost);
// True when the password matches the stored hash. A malformed hash never matches.
bool verifyPassword(const char* password, const char* storedHash);

// Each hash being computed holds its working memory (16 MB at cost 5): how many are being
// computed in this process at this moment, the most there were at once since the last
// reset, and how many were computed in all. The server bounds them; its tests look.
struct PasswordHashLoad {
    int now = 0;
    int peak = 0;
    long total = 0;
};
PasswordHashLoad passwordHashLoad();
void resetPasswordHashPeak();

} // namespace orvane
