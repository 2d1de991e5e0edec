// Resource ids of the program.
#pragma once

#define IDD_CONFIG 2003
