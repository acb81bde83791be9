#include "plugin/field_command.h"

#include "nsis/include/pluginapi.h"
#include "plugin/format_command.h"
#include "plugin/member_commands.h"
#include "report/added_members.h"
#include "vendors/vendor_body.h"

int SetFieldCommand() {
  // One byte more than the limits allow, so that a text over them is seen whole or cut.
  char key[kMaxFieldKeyBytes + 2] = {};
  char value[kMaxFieldValueBytes + 2] = {};
  const Popped poppedKey = PopArgument(key, sizeof key, Traced::Whole);
  const Popped poppedValue = PopArgument(value, sizeof value, Traced::LengthOnly);
  if (!ReportsStillQueued() || poppedKey != Popped::Whole || poppedValue != Popped::Whole) return 0;
  // A 1 means every later report goes out with the field.
  if (FormatSetsField(CurrentReportFormat(), key)) return 0;
  return SetAddedField(key, value) ? 1 : 0;
}
