#pragma once

// A manual-reset event that a client thread can wait on together with its socket; signalled means
// "this connection must end". Backed by an eventfd so that one poll() sees both.
struct KickEvent {
    int fd = -1;
};
