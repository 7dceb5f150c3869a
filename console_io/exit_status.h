// What the library's routines share: each lives in an object of its own, so
// that a program links only the routines it calls and what they call.
#pragma once

// Set by any write that was not taken whole and any read that failed; the
// exit status says so, since nothing else may.
extern bool anyCallFailed;
