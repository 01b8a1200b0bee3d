#pragma once

class UdpSocketArray;

// Closes every socket element at a stop, before the scoring component is given its time to
// write: nothing arrives meanwhile, and a new start can bind the ports at once.
void stopReceiving(UdpSocketArray &sockets);
