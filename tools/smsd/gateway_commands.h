// The gateway's commands that work on the database alone: `token create|list|revoke`
// `user add|remove` and `webhook add|list|remove`. Each returns the exit status: 0, 1 for a database failure,
// 2 for a refused argument.
#pragma once

#include <cstdint>
#include <string>

namespace smsd {

class Store;

int CreateTokenCommand(Store &store, const std::string &name);
int ListTokensCommand(Store &store);
int RevokeTokenCommand(Store &store, const std::string &nameOrId);
// The password is the first line of `passwordFile` ("-": standard input, read without
// echo when it is a terminal).
int AddUserCommand(Store &store, const std::string &name, const std::string &passwordFile);
int RemoveUserCommand(Store &store, const std::string &name);
// `webhook add URL --events a,b [--secret S]` prints the new hook's id and secret.
int AddWebhookCommand(Store &store, const std::string &url, const std::string &events, const std::string &secret);
int ListWebhooksCommand(Store &store);
int RemoveWebhookCommand(Store &store, int64_t id);

}  // namespace smsd
