// Resource ids of the program: the configuration dialog and its controls.
#pragma once

#define IDD_CONFIG 2003

#define IDC_DISPLAY_TEXT 2011
#define IDC_CYCLE_TIME 2012
#define IDC_FOLDER 2013
#define IDC_CLOSE 2021
#define IDC_FONT 2023
#define IDC_BROWSE 2024
#define IDC_GRADUAL 2030
#define IDC_TEXT_MODE 2031
#define IDC_FILE_TYPE 2032
#define IDC_PICTURE_MODE 2033
#define IDC_COLOR 101
#define IDC_RANDOM_SIZE 102
#define IDC_RANDOM_SIZE_LABEL 103
#define IDC_CLEAR_COUNT 104
#define IDC_CLEAR_COUNT_LABEL 105
#define IDC_RULE1 106
#define IDC_RULE2 107
#define IDC_RULE3 108
