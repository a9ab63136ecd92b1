#pragma once

#include <string>
#include <string_view>

namespace shell {

// owlglance-server's options that change a setting, save it and end: what
// each prints goes to standard error, and the result is the exit status
// (0 saved; 1 with a message on bad input, or when nothing could be saved).

// The file a running owlglance-server holds its mark on (beside the
// settings): it takes a changed setting at once then.
std::string ServerMarkFile();

// --access everyone|local|computer: who may connect.
int SetAccessOption(std::string_view word);

// --https on|off: HTTPS beside plain HTTP, or plain HTTP alone.
int SetHttpsOption(std::string_view word);

// --certificate CERT KEY: the person's own certificate and key, checked to
// go together before they are saved (as absolute paths); both empty: the
// server's own again.
int SetCertificateOption(const std::string& cert, const std::string& key);

// --no-password: no password is asked any more.
int NoPasswordOption();

// --set-password: the user name and the password twice from the terminal
// (the password not echoed), or a user name line and a password line from
// standard input when it is no terminal.
int SetPasswordOption();

}  // namespace shell
