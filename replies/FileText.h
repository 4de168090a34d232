#pragma once
// Placeholder; the file text of custom domains and mailproc.tab.
