#pragma once
// Resource ids of the Windows programs.
#define IDI_VELLOX 1
#define IDB_BANNER 101
#define IDB_WRITE 102
#define IDB_QUERY 103
#define IDB_READ 104
