#ifndef VELMO_OVERLAY_GDIPLUS_INCLUDE_H_
#define VELMO_OVERLAY_GDIPLUS_INCLUDE_H_

// GDI+ needs the COM declarations that the lean Windows header leaves out.
#include <objidl.h>
#include <windows.h>

#include <gdiplus.h>

#endif  // VELMO_OVERLAY_GDIPLUS_INCLUDE_H_
