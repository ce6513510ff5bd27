#ifndef VLM_RESOURCES_RESOURCE_H
#define VLM_RESOURCES_RESOURCE_H

/* Read by both windres and the C++ compiler: plain #defines only. */

/* Dialog templates and bitmaps. */
#define IDD_ABOUT 101
#define IDD_CONTROL 102
#define IDB_LOGO 104
#define IDB_SAMPLE 106

/* Control dialog 102. OK and Cancel are the system's IDOK (1) and IDCANCEL (2);
   unnamed labels and frames use IDC_STATIC. */
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#define IDC_PREVIEW_BUTTON 3
#define IDC_SAVE_BUTTON 4
#define IDC_DIVIDE 1007
#define IDC_DIVIDE_SPIN 1008
#define IDC_SOURCE_WHOLE 1009
#define IDC_SOURCE_MATERIAL 1010
#define IDC_SOURCE_OBJECT 1011
#define IDC_MATERIAL_ID 1012
#define IDC_OBJECT_ID 1013
#define IDC_MATERIAL_ID_SPIN 1014
#define IDC_OBJECT_ID_SPIN 1015
/* Weight cell (r, c) of the 9 x 9 grid is IDC_WEIGHT_FIRST + 9 * r + c. */
#define IDC_WEIGHT_FIRST 1016
#define IDC_OFFSET 1097
#define IDC_OFFSET_SPIN 1098
#define IDC_INVERT 1099
#define IDC_FILTER_LIST 1101
#define IDC_PREVIEW_IMAGE 1102
#define IDC_FILTER_NAME 1103

#endif
