#pragma once
// Resource ids of the Windows programs (vellox.rc.in), shared by the resource script and the
// window code. Plain defines: the resource compiler reads this file too.

#define IDI_VELLOX 1
#define IDB_BANNER 101
#define IDB_WRITE 102
#define IDB_QUERY 103
#define IDB_READ 104
