// GET /v1/openapi.json: the API's description, docs/openapi.json as it was at build
// time (compiled in, so the server never reads it from a path it could be given).
#include "gateway.h"

namespace smsd {

extern const char kOpenApiDocument[];
extern const size_t kOpenApiDocumentSize;

void AddOpenApiRoutes(Gateway &gateway) {
  gateway.Route("GET", "/v1/openapi.json", "/v1/openapi.json", Allow::kAnyone, [](Call &call) {
    call.response.status = 200;
    call.response.set_content(std::string(kOpenApiDocument, kOpenApiDocumentSize), "application/json");
  });
}

}  // namespace smsd
