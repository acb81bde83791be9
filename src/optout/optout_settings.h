#pragma once

// The machine's opt-out, read with Windows' own calls. Host's thread only.

// Whether this run may send reports: read at the first call and kept while the module
// is loaded, so that a run either reports or sends nothing at all.
bool ReportsEnabled();
