// How the insole view tells a window that shows the insole in another form (the 3D window)
// that heightGrid has changed: after the frame that reshapes it, and after every load. The
// view only calls the function; the listener returns at once and does its work later, so
// that the view's frames never wait for it.
#pragma once

using InsoleListener = void (*)();

// Null while nobody listens.
inline InsoleListener insoleChanged = nullptr;
