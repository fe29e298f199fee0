// The buffers an output pin asks of its allocator, decided the same way by every pin: the
// body of a DecideBufferSize hook.
//
//   HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
//     return DecideBuffers(allocator, *request, {.buffers = 2, .bytes = frameBytes});
//   }
#pragma once

#include <strmif.h>

// What a pin needs of its allocator's buffers.
struct BufferNeeds {
  long buffers = 1;  // at least this many
  long bytes = 1;    // each at least this large
  long align = 1;    // each starting at a multiple of this (a power of two)
};

// Sets the receiver's request (`request`, whose zero fields ask nothing), raised to `needs`, on
// the allocator. The allocator's error when it refuses; E_FAIL when it grants buffers smaller
// than needs.bytes.
HRESULT DecideBuffers(IMemAllocator* allocator, const ALLOCATOR_PROPERTIES& request,
                      const BufferNeeds& needs);
