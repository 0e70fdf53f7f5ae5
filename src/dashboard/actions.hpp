#pragma once
// The dashboard's action routes: the buttons of the page that start background
// `kestrel` runs, open a chip's files in viewers, reveal folders, record the
// chosen 3D up axis, manage stored vendor credentials and deliver parts to
// desktop EDA tools. Each handler takes the routed request (the server has
// already applied its host, origin and peer checks) and builds one reply; none
// of them throws or stops the server.

#include "serve/http.hpp"

namespace kestrel::dashboard {

// POST /api/validate/<MPN>: starts `kestrel validate <MPN>` in the background.
serve::Reply post_validate(const serve::Request& request);

// POST /api/thumbnails/<MPN>: starts `kestrel thumbnails --mpn <MPN> --force` in the background.
serve::Reply post_thumbnails(const serve::Request& request);

// POST /api/refetch/<MPN>?format=<f>&source=<s>: starts `kestrel refetch` in the background.
serve::Reply post_refetch(const serve::Request& request);

// POST /api/open: opens a chip's file (3D model, symbol, footprint, .lbr, datasheet) in its viewer.
serve::Reply post_open(const serve::Request& request);

// POST /api/reveal: reveals a chip's folder (or the library root) in the editor.
serve::Reply post_reveal(const serve::Request& request);

// POST /api/deliver: delivers a chip's parts to a desktop EDA tool.
serve::Reply post_deliver(const serve::Request& request);

// POST /api/orientation: records the chosen up axis of a chip's 3D model in its info.json.
serve::Reply post_orientation(const serve::Request& request);

// GET /api/credentials: lists the stored vendor credentials, passwords included.
serve::Reply get_credentials(const serve::Request& request);

// POST /api/credentials: saves one vendor credential.
serve::Reply post_credentials(const serve::Request& request);

// DELETE /api/credentials/<host>: removes the credential of the percent-decoded host.
serve::Reply delete_credentials(const serve::Request& request);

}  // namespace kestrel::dashboard
