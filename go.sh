#!/bin/sh
exit 5
