#pragma once

// The commands that let reports count machines rather than runs, when the script asks.
// Host's thread only; nothing is read from the machine by any other command.

// NSSetDeviceId: pops the id (traced by its length only); 1 when the later reports of every
// format carry it as the vendor's per-device id (Kestrel's document as device_id); 1 for an
// empty id, which withdraws it (later reports count by the run's id); 0, and nothing changed,
// for an id IsDeviceId refuses, reports off or once NSWaitDone was called.
int SetDeviceIdCommand();

// NSMachineId: pops the salt (traced by its length only) and writes this machine's id for it
// (MachineIdFor); empty when reports are off, once NSWaitDone was called, for an empty or
// missing salt, or when the machine has no readable MachineGuid.
constexpr unsigned kMachineIdTextSize = 33;
void MachineIdCommand(char (&text)[kMachineIdTextSize]);
