#pragma once
// Resource numbers of the band DLL, shared by the resource script and the code.

#define IDI_TAVRIN_BUTTON 100
#define IDI_TAVRIN_BUTTON_HOT 101
#define IDR_TAVRIN_REGISTRY 102
#define IDI_TAVRIN_ABOUT 210

#define IDD_SETTINGS 211
#define IDC_DOMAIN_ONLY 201

// The bar's pages (RT_HTML) and the toolbar's five images.
#define IDR_BLANK_PAGE 204
#define IDB_TOOLBAR 205
#define IDR_LOADING_PAGE 206
