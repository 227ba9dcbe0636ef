// File: app/resource.h - identifiers of the Windows program's resources, shared by recaster.rc and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_RECASTER_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_BUTTON_CONVERT 1000
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
