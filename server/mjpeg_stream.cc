#include "server/mjpeg_stream.h"

void ServeStream(platform::Socket&, const ClientTicket&, std::vector<char>&) {}
