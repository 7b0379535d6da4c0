// Control ids of the conversion dialog BOX105, shared by its template and the shell.
#pragma once

#define IDC_STATUS 100
#define IDC_FOLDER 150
#define IDC_COMPANY 151
#define IDC_STATUS_LABEL 200
#define IDC_FOLDER_LABEL 250
#define IDC_COMPANY_LABEL 251
#define IDC_CONVERT 300
#define IDC_FRAME 350
#define IDC_LOOKUP_LIST 400
#define IDC_NEXT_FIELD 500
#define IDC_CLOSE 2 /* IDCANCEL: "&Fechar" and the Escape key */
