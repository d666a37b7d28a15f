// The folder where COM<n> links to serial devices live (the simulator and
// users put links there). Chosen as $QUORVEL_PORT_DIR, else
// $XDG_RUNTIME_DIR/quorvel/ports, else /tmp/quorvel-<uid>/ports.
#pragma once

#include <string>

namespace portdir {

// The path by the rules above; it may not exist yet.
std::string Path();

// Creates the folder (mode 0700) when missing and checks that it is safe:
// owned by this user and writable by nobody else, so that no other user can
// plant a link in it. Returns true when it can be used; otherwise `message`
// says why it is ignored.
bool Ensure(std::string& message);

// Path of the link for COM<n> inside the folder.
std::string LinkPath(int comNumber);

}  // namespace portdir
