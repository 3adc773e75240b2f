#pragma once

#include "ftp/cFTP.h"

class Settings;

// The client set as the options say: the port, the one certificate the user accepted in the
// explorer (a connection never trusts a server on its own beyond the system's store), and the
// object store's region. Every connection to the options' server is set up here.
void applyServerOptions(cFTP& ftp, const Settings& settings);
// applyServerOptions, then the log-on with the options' server, user and password; false with
// the reason in CurrentError() as cFTP::Connect leaves it.
bool connectToServer(cFTP& ftp, const Settings& settings);
