// The filter base classes: include this to write a filter on the platform.
//
//   CMediaType                      AM_MEDIA_TYPE with ownership (MediaType.h)
//   CMediaSample, CMemAllocator     samples and their pool (MediaSample.h, MemAllocator.h)
//   CBaseFilter                     state machine, pins by index, events, clock
//   CBasePin, CBaseOutputPin, CBaseInputPin   connection, allocators, streaming
//   DecideBuffers                   the body of a DecideBufferSize hook (AllocatorBuffers.h)
//   DECLARE_PIN_IUNKNOWN            IUnknown of a pin with an interface of its own
//   CTransformFilter, CTransInPlaceFilter     one input, one output
//   CSource, CSourceStream          push sources, one streaming thread per pin
//   CBaseRenderer                   presentation on the graph clock, EC_COMPLETE
//   CEnumPins, CEnumMediaTypes      enumerators
//   OutputQueue                     delivery from a thread of its own, for fan-out filters
//   CQueuedOutputPin                an output pin delivering through an OutputQueue
//   FilterRegistration              registry record of a filter (FilterRegistry.h)
#pragma once

#include <dshow.h>

#include "AllocatorBuffers.h"
#include "BaseFilter.h"
#include "BaseInputPin.h"
#include "BaseOutputPin.h"
#include "BasePin.h"
#include "BaseRenderer.h"
#include "EnumMediaTypes.h"
#include "EnumPins.h"
#include "FilterRegistry.h"
#include "MediaSample.h"
#include "MediaType.h"
#include "MemAllocator.h"
#include "OutputQueue.h"
#include "QueuedOutputPin.h"
#include "RendererInputPin.h"
#include "Source.h"
#include "SourceStream.h"
#include "TransInPlaceFilter.h"
#include "TransformFilter.h"
#include "TransformInputPin.h"
#include "TransformOutputPin.h"
