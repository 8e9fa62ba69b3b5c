#pragma once
// A higher layer, included from below by platform/low.h.
