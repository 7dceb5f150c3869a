// What both layers need of a line's bytes: where it ends, and how much of
// it may be handed out. Where a layer hands out part of a line and drops
// what no read takes, a cut must not fall inside a character: the bytes
// handed out would end in half of one, and its other half would be
// dropped. Only the layers know where the rest of a line is dropped, so
// only they use this.
#pragma once

#include "platform.h"

// The length of text up to and with its first LF, or all of it.
inline DWORD LineLength(const char* text, DWORD size) {
  DWORD length = 0;
  while (length < size && text[length++] != '\n') {
  }
  return length;
}

inline bool IsContinuation(char c) { return (c & 0xC0) == 0x80; }

// How many of the length bytes at text, at most max, can be handed out
// without cutting a well-formed UTF-8 character in two: a lead byte C2 to
// F4 with all its continuation bytes (80 to BF) present. A cut inside one
// moves back to its lead byte; bytes that form no such character are cut
// as they stand, and so is a character that starts the text, so that a
// read never hands out nothing while bytes wait.
inline DWORD UncutLength(const char* text, DWORD length, DWORD max) {
  if (length <= max) return length;
  for (DWORD lead = max > 3 ? max - 3 : 1; lead < max; ++lead) {
    const unsigned char c = text[lead];
    const DWORD end = lead + (c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4);
    if (c < 0xC2 || c > 0xF4 || end <= max || end > length) continue;
    DWORD i = lead + 1;
    while (i < end && IsContinuation(text[i])) ++i;
    if (i == end) return lead;
  }
  return max;
}

// Hands out what waits of a stored line, from start to end, into buffer:
// as much as fits without cutting a character in two. How many bytes.
inline DWORD HandOut(const char* store, DWORD& start, DWORD end, char* buffer,
                     DWORD max) {
  const DWORD count = UncutLength(store + start, end - start, max);
  for (DWORD i = 0; i < count; ++i) buffer[i] = store[start++];
  return count;
}
