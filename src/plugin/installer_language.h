#pragma once

#include <string>

// The language the user chose in the installer: the BCP 47 tag of the installer's current
// $LANGUAGE ("fr-FR" for 1036), read from the installer's variables of the latest command;
// empty when the host passed none or Windows does not know the language. Host's thread only.
std::string InstallerLanguage();
