#pragma once
// The About box's resource numbers and the maker's texts: read by the resource scripts of both
// deliverables and by the code, so only macros live here.

#define IDD_VERSION 130
#define IDC_VERSION_ICON 1006
#define IDC_VERSION_NUMBER 1007
#define IDC_VERSION_MAIL 1008
#define IDC_VERSION_WEB 1009

#define TAVRIN_MAKER_LINE "Copyright (C) 2005 Halvek"
#define TAVRIN_MAKER_MAIL "tavrin@halvek.example"
#define TAVRIN_MAKER_URL "http://www.halvek.example/"
