#include "plugin/installer_language.h"

#include "nsis/include/pluginapi.h"
#include "report/system_context.h"

std::string InstallerLanguage() {
  if (!g_variables || g_stringSize <= 0) return {};
  // NSIS keeps the language's LANGID there as decimal text, 1033 for English.
  const TCHAR* text = g_variables + kLanguageVariable * g_stringSize;
  unsigned long id = 0;
  for (int i = 0; i < 5 && text[i] >= '0' && text[i] <= '9'; ++i) id = id * 10 + (text[i] - '0');
  return LanguageTag(id);
}
