// Module entry: descriptor, lifecycle and console command.
