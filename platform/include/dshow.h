// DirectShow: everything a DirectShow application includes.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <control.h>
#include <uuids.h>
#include <evcode.h>
#include <errors.h>
#include <vfwmsgs.h>
#include <amvideo.h>
#include <dvdmedia.h>
