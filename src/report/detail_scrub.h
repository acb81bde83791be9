#pragma once

// What an attached details line may not carry as it stands: the user's profile folder, the
// user's name and the computer's name.

#include <string>
#include <string_view>

// The texts to hide, in the installer's encoding; an empty one hides nothing.
struct ScrubNames {
  std::string_view profile;   // e.g. C:\Users\alice
  std::string_view user;      // e.g. alice
  std::string_view computer;  // e.g. ALICE-PC
};

// Appends to `out` `line` with each of the names, as a whole word and in any ASCII letter case, replaced by
// %USERPROFILE%, %USERNAME% or %COMPUTERNAME%; the profile folder is tried first, then the longer name. A name
// inside a longer word (alice in malice, or C:\Users\alice in C:\Users\alice2) is kept.
void AppendScrubbed(std::string& out, std::string_view line, const ScrubNames& names);
