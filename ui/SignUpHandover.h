#pragma once

class wxWindow;

namespace orvane {

// Where the sign-in dialog's "New Account" button hands over: the program's sign-up form and
// the sign-in with the account it created. The program supplies it; the dialog only decides
// the order (sign up, then sign in, then close as cancelled, so that its caller does not
// sign in a second time).
//
// User-interface thread.
class SignUpHandover {
public:
    virtual ~SignUpHandover() = default;

    // Runs the account form in sign-up mode, modal over `parent`. True when it created an
    // account; the application then holds that account's user name and password.
    virtual bool signUp(wxWindow& parent) = 0;

    // After a successful sign-up: the new account becomes the default one, the progress panel
    // shows "Signing in...", and the connection thread is asked to connect with the new
    // credentials. Returns at once: the connect runs on the connection thread, never here.
    virtual void signInNewAccount() = 0;
};

} // namespace orvane
