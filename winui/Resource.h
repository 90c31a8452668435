// Resource ids of tarvel.exe.
#pragma once

#define IDR_MAINFRAME 1
