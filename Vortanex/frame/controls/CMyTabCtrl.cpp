#include "frame/controls/CMyTabCtrl.h"

CMyTabCtrl::CMyTabCtrl(QWidget* parent) : QTabWidget(parent) {}
